// Preloaded into a test host (LD_PRELOAD), this library closes each window the desktop module
// shows, as the title bar's close button would, once the window is on the screen and painted;
// QUORVEL_QT_TEST_SCREENSHOT=FILE saves a picture of it just before. It arms itself in every
// Qt application made in the process, so the module itself carries no test code.
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdlib>

namespace {

bool exposed(const QWidget* window) {
    return window != nullptr && window->isVisible() && window->windowHandle() != nullptr &&
           window->windowHandle()->isExposed();
}

// The window that is up and exposed (mapped on the screen), a modal one first.
QWidget* exposed_window() {
    if (QWidget* modal = QApplication::activeModalWidget(); exposed(modal)) return modal;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (exposed(widget)) return widget;
    }
    return nullptr;
}

// The window whose closing is under way (one at a time; a window shown again is closed again).
QPointer<QWidget> g_closing;

void close_when_painted() {
    QWidget* window = exposed_window();
    if (window == nullptr || window == g_closing) return;
    g_closing = window;
    // An exposed window paints on the loop's next turns; give it those before closing.
    QTimer::singleShot(300, window, [window] {
        if (const char* file = std::getenv("QUORVEL_QT_TEST_SCREENSHOT"); file && *file)
            window->grab().save(QString::fromLocal8Bit(file));
        window->close();
        g_closing = nullptr;
    });
}

void arm() {
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, close_when_painted);
    poll->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(arm)
