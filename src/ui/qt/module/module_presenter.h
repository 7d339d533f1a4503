// The presenter libquorvel.so installs from libquorvel-qt.so. In a host that runs a Qt
// application already, windows join its event loop; in one without, the module made the
// application itself and, since a window needs a message loop, runs one while the converter
// window is open.
#pragma once

#include "ui/desktop_module.h"
#include "ui/qt/qt_presenter.h"

namespace quorvel::ui::qt {

class ModulePresenter : public QtPresenter {
public:
    // `runs_loop`: no event loop of the host's own serves the windows. The screen goes to the
    // library's forms, not to this module's copy of the toolkit.
    ModulePresenter(bool runs_loop, const DesktopHost& host)
        : QtPresenter([set = host.set_screen_size](toolkit::ScreenSize screen) {
              if (set != nullptr) set(screen.width, screen.height);
          }),
          runs_loop_(runs_loop) {}

    int show_modal(toolkit::Form& form) override;
    void show_modeless(toolkit::Form& form) override;

private:
    void run_loop_while_visible(const toolkit::Form& form);

    bool runs_loop_;
    bool in_loop_ = false;
};

}  // namespace quorvel::ui::qt
