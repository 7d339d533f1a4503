#include "ui/qt/module/module_presenter.h"

#include <QEventLoop>
#include <QTimer>

namespace quorvel::ui::qt {

void ModulePresenter::show_modeless(platform::Window& window) {
    QtPresenter::show_modeless(window);
    if (runs_loop_ && !in_loop_) run_loop_while_visible(static_cast<toolkit::Form&>(window));
}

// Closing the window hides the form (its close handler ran); the loop ends with it.
void ModulePresenter::run_loop_while_visible(const toolkit::Form& form) {
    in_loop_ = true;
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&form, &loop] {
        if (!form.visible()) loop.quit();
    });
    watch.start(50);
    loop.exec();
    in_loop_ = false;
}

}  // namespace quorvel::ui::qt
