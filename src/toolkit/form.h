// A headless form: caption, position and size, the controls it owns, a show hook, and the
// modal result that closes it. Showing a form modally goes through the platform's presenter,
// which decides whether a real window appears.
#pragma once

#include <string>
#include <vector>

#include "platform/presenter.h"
#include "platform/private_api.h"
#include "toolkit/controls.h"

namespace quorvel::toolkit {

class QUORVEL_PRIVATE_API Form : public platform::Window {
public:
    Form(std::string name, std::string caption, int width, int height);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& name() const { return name_; }
    const std::string& caption() const { return caption_; }
    void set_caption(std::string caption) { caption_ = std::move(caption); }
    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void set_position(int left, int top);
    bool resizable() const { return resizable_; }
    bool visible() const { return visible_; }

    const std::vector<Control*>& controls() const { return controls_; }
    Control* find_control(const std::string& name) const;

    // Centres the form on the screen, halving towards zero.
    void centre_on_screen();

    // Shows the form modally through the presenter in force and returns the modal result
    // (IDOK or IDCANCEL); the form is hidden again afterwards.
    int show_modal();
    // The presenter's side of a modal showing: make the form visible and run its show hook.
    void begin_show() override;
    // Shows the form modelessly through the presenter (the call returns at once) and runs its
    // show hook; closing it only hides it again, after its close hook.
    void show();
    void close();
    int modal_result() const override { return modal_result_; }
    // A non-zero result closes a form that is showing.
    void set_modal_result(int result) override;

    // Enter clicks the default button and Esc the cancel button, as in a dialog box.
    void press_enter() override;
    void press_escape();

protected:
    // Registers a control the derived form owns; it becomes the control's parent.
    void add_control(Control& control);
    template <class... Controls>
    void add_controls(Controls&... controls) {
        (add_control(controls), ...);
    }
    void set_resizable(bool value) { resizable_ = value; }
    // Runs each time the form is shown, before the user can act on it.
    virtual void on_show() {}
    // Runs each time a modeless showing is closed.
    virtual void on_close() {}

private:
    Button* find_button(bool want_default) const;

    std::string name_;
    std::string caption_;
    int left_ = 0;
    int top_ = 0;
    int width_;
    int height_;
    bool resizable_ = false;
    bool visible_ = false;
    int modal_result_ = 0;
    std::vector<Control*> controls_;
};

}  // namespace quorvel::toolkit
