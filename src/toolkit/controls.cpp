#include "toolkit/controls.h"

#include "toolkit/form.h"

namespace quorvel::toolkit {

// Out of line, so that each control's vtable and type information live in the library alone.
Control::~Control() = default;
Label::~Label() = default;
Bevel::~Bevel() = default;
Button::~Button() = default;
Edit::~Edit() = default;
ComboBox::~ComboBox() = default;

void Button::click() {
    if (!accepts_input()) return;
    if (on_click) on_click();
    if (modal_result_ != 0 && parent() != nullptr) parent()->set_modal_result(modal_result_);
}

void Edit::set_text(std::string text) {
    text_ = std::move(text);
    caret_ = text_.size();
}

bool Edit::type(char key) {
    if (!accepts_input()) return false;
    if (on_key_press) on_key_press(key);
    if (key == 0 || read_only_) return false;
    if (key == kBackspace) {
        if (caret_ == 0) return false;
        text_.erase(--caret_, 1);
        return true;
    }
    // Other control characters (Enter, Esc, Tab) belong to the form, not the text.
    if (static_cast<unsigned char>(key) < 32 || key == 127) return false;
    text_.insert(caret_++, 1, key);
    return true;
}

size_t Edit::type_text(const std::string& keys) {
    size_t changed = 0;
    for (char key : keys) changed += type(key) ? 1 : 0;
    return changed;
}

void Edit::paste(const std::string& text) {
    if (!accepts_input() || read_only_) return;
    text_.insert(caret_, text);
    caret_ += text.size();
}

void ComboBox::set_items(std::vector<std::string> items) {
    items_ = std::move(items);
    item_index_ = -1;
}

void ComboBox::set_item_index(int index) {
    item_index_ = index >= 0 && static_cast<size_t>(index) < items_.size() ? index : -1;
    if (on_change) on_change();
}

std::string ComboBox::text() const {
    return item_index_ < 0 ? std::string() : items_[static_cast<size_t>(item_index_)];
}

}  // namespace quorvel::toolkit
