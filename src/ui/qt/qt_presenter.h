// The presenter for a desktop with Qt: real message boxes, real folder pickers, and every form
// shown as a real window (modal dialogs and modeless windows) on the same form objects.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "platform/presenter.h"
#include "toolkit/screen.h"
#include "ui/qt/form_window.h"

namespace quorvel::ui::qt {

class QtPresenter : public platform::Presenter {
public:
    // Where the forms learn the screen they centre on: before each showing it is told the
    // primary screen's available area (less panels and docks).
    using ScreenSink = std::function<void(toolkit::ScreenSize)>;
    explicit QtPresenter(ScreenSink tell_screen = toolkit::set_screen_size);
    ~QtPresenter() override;

    int message_box(HWND owner, const std::string& text, const std::string& caption,
                    unsigned type) override;
    int show_modal(platform::Window& shown) override;
    void show_modeless(platform::Window& shown) override;
    void process_messages() override;
    bool browse_for_folder(const std::string& title, std::string& folder) override;

    // The window of a form shown modelessly (null before its first showing).
    FormWindow* window_of(const toolkit::Form& form) const;

private:
    void tell_screen() const;

    platform::Presenter* previous_;
    ScreenSink tell_screen_;
    std::map<const toolkit::Form*, std::unique_ptr<FormWindow>> windows_;
};

}  // namespace quorvel::ui::qt
