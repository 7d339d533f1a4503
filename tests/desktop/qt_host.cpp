// A host with a Qt application of its own: ShowFileConverter must come back at once with the
// window up on the host's event loop, centred on the real screen. The host then closes the
// window as a user would and reports what it saw. Usage: qt_host LIBRARY MODULE
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <dlfcn.h>

#include <cstdio>

namespace {

// The host's visible top-level windows other than its own (it has none).
QWidget* converter_window() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible()) return widget;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    QApplication app(argc, argv);
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    auto show =
        library ? reinterpret_cast<void (*)()>(dlsym(library, "ShowFileConverter")) : nullptr;
    if (show == nullptr) return 3;
    show();
    QWidget* window = converter_window();
    std::printf("returned with window: %s\n",
                window ? window->windowTitle().toLocal8Bit().constData() : "none");
    if (window == nullptr) return 0;
    const QSize screen = window->screen()->availableGeometry().size();
    const bool centred = window->x() == (screen.width() - window->width()) / 2 &&
                         window->y() == (screen.height() - window->height()) / 2;
    std::printf("centred on the screen: %s\n", centred ? "yes" : "no");
    QTimer::singleShot(300, [window] {
        window->close();
        std::printf("open after closing: %s\n", window->isVisible() ? "yes" : "no");
        QApplication::quit();
    });
    return app.exec();
}
