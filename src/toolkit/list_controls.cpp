#include "toolkit/list_controls.h"

namespace quorvel::toolkit {

// Out of line, as in controls.cpp.
CheckListBox::~CheckListBox() = default;
CheckBox::~CheckBox() = default;
ProgressBar::~ProgressBar() = default;
LabeledEdit::~LabeledEdit() = default;
PictureButton::~PictureButton() = default;

CheckListBox::CheckListBox(std::string name, Bounds bounds, std::vector<std::string> items)
    : Control(std::move(name), bounds) {
    set_items(std::move(items));
}

void CheckListBox::set_items(std::vector<std::string> items) {
    items_ = std::move(items);
    checked_.assign(items_.size(), false);
    item_index_ = -1;
}

void CheckListBox::set_checked(size_t index, bool value) {
    if (index < checked_.size()) checked_[index] = value;
}

void CheckListBox::set_item_index(int index) {
    item_index_ = index >= 0 && static_cast<size_t>(index) < items_.size() ? index : -1;
}

void CheckListBox::click_item(size_t index) {
    if (!accepts_input() || index >= items_.size()) return;
    set_item_index(static_cast<int>(index));
    checked_[index] = !checked_[index];
    if (on_click) on_click();
}

void ProgressBar::set_position(int position) {
    position_ = position < min_ ? min_ : (position > max_ ? max_ : position);
}

}  // namespace quorvel::toolkit
