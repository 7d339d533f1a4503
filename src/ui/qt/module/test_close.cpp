#include "ui/qt/module/test_close.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <cstring>

#include "ui/qt/form_window.h"

namespace quorvel::ui::qt {
namespace {

bool exposed(const FormWindow* window) {
    return window != nullptr && window->isVisible() && window->windowHandle() != nullptr &&
           window->windowHandle()->isExposed();
}

// The form window that is up and exposed (mapped on the screen), a modal one first.
FormWindow* exposed_window() {
    if (auto* modal = dynamic_cast<FormWindow*>(QApplication::activeModalWidget()); exposed(modal))
        return modal;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = dynamic_cast<FormWindow*>(widget); exposed(window)) return window;
    }
    return nullptr;
}

void close_when_painted(QTimer* poll) {
    FormWindow* window = exposed_window();
    if (window == nullptr) return;
    poll->stop();
    poll->deleteLater();
    // An exposed window paints on the loop's next turns; give it those before closing.
    QTimer::singleShot(300, window, [window] {
        if (const char* file = std::getenv("QUORVEL_QT_TEST_SCREENSHOT"); file && *file)
            window->grab().save(QString::fromLocal8Bit(file));
        window->close();
    });
}

}  // namespace

void arm_test_close() {
    const char* value = std::getenv("QUORVEL_QT_TEST_CLOSE");
    if (value == nullptr || std::strcmp(value, "1") != 0) return;
    auto* poll = new QTimer(QApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [poll] { close_when_painted(poll); });
    poll->start(50);
}

}  // namespace quorvel::ui::qt
