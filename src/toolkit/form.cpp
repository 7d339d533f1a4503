#include "toolkit/form.h"

#include "platform/presenter.h"
#include "toolkit/screen.h"

namespace quorvel::toolkit {

Form::Form(std::string name, std::string caption, int width, int height)
    : name_(std::move(name)), caption_(std::move(caption)), width_(width), height_(height) {}

// Out of line, so that the vtable and type information live in the library alone.
Form::~Form() = default;

void Form::set_position(int left, int top) {
    left_ = left;
    top_ = top;
}

Control* Form::find_control(const std::string& name) const {
    for (Control* control : controls_) {
        if (control->name() == name) return control;
    }
    return nullptr;
}

void Form::centre_on_screen() {
    const ScreenSize screen = screen_size();
    // Integer division truncates towards zero, also for a form larger than the screen.
    set_position((screen.width - width_) / 2, (screen.height - height_) / 2);
}

int Form::show_modal() {
    modal_result_ = 0;
    const int result = platform::presenter().show_modal(*this);
    visible_ = false;
    return result;
}

void Form::begin_show() {
    modal_result_ = 0;
    visible_ = true;
    on_show();
}

void Form::show() { platform::presenter().show_modeless(*this); }

void Form::close() {
    if (!visible_) return;
    on_close();
    visible_ = false;
}

void Form::set_modal_result(int result) {
    modal_result_ = result;
    if (result != 0) visible_ = false;
}

void Form::press_enter() {
    if (Button* button = find_button(true)) button->click();
}

void Form::press_escape() {
    if (Button* button = find_button(false)) button->click();
}

void Form::add_control(Control& control) {
    control.parent_ = this;
    controls_.push_back(&control);
}

Button* Form::find_button(bool want_default) const {
    for (Control* control : controls_) {
        auto* button = dynamic_cast<Button*>(control);
        if (button == nullptr) continue;
        if (want_default ? button->is_default() : button->is_cancel()) return button;
    }
    return nullptr;
}

}  // namespace quorvel::toolkit
