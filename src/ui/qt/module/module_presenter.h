// The presenter libquorvel.so installs from libquorvel-qt.so. In a host that runs a Qt
// application already, windows join its event loop; in one without, the module made the
// application itself and, since a window needs a message loop, runs one while the converter
// window is open.
#pragma once

#include "ui/qt/qt_presenter.h"

namespace quorvel::ui::qt {

class ModulePresenter : public QtPresenter {
public:
    // `runs_loop`: no event loop of the host's own serves the windows.
    explicit ModulePresenter(bool runs_loop) : runs_loop_(runs_loop) {}

    void show_modeless(platform::Window& window) override;

private:
    void run_loop_while_visible(const toolkit::Form& form);

    bool runs_loop_;
    bool in_loop_ = false;
};

}  // namespace quorvel::ui::qt
