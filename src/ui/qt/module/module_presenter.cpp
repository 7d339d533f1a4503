#include "ui/qt/module/module_presenter.h"

#include <QEventLoop>
#include <QTimer>

#include "ui/qt/module/test_close.h"

namespace quorvel::ui::qt {

int ModulePresenter::show_modal(toolkit::Form& form) {
    arm_test_close();
    return QtPresenter::show_modal(form);
}

void ModulePresenter::show_modeless(toolkit::Form& form) {
    arm_test_close();
    QtPresenter::show_modeless(form);
    if (runs_loop_ && !in_loop_) run_loop_while_visible(form);
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
