// More headless controls, as generic as the ones in controls.h: a list with a tick box per
// item, a check box, a progress bar, an edit that carries its own label, and a button that
// shows a small picture instead of a caption.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/private_api.h"
#include "toolkit/controls.h"

namespace quorvel::toolkit {

// A list whose items each have a tick box. A click selects the item, flips its tick and then
// notifies on_click; code that ticks items notifies nobody.
class QUORVEL_PRIVATE_API CheckListBox : public Control {
public:
    CheckListBox(std::string name, Bounds bounds, std::vector<std::string> items = {});
    ~CheckListBox() override;
    const std::vector<std::string>& items() const { return items_; }
    void set_items(std::vector<std::string> items);
    size_t count() const { return items_.size(); }
    bool checked(size_t index) const { return index < checked_.size() && checked_[index]; }
    void set_checked(size_t index, bool value);
    // -1 when nothing is selected.
    int item_index() const { return item_index_; }
    void set_item_index(int index);
    // The user clicks an item's tick box.
    void click_item(size_t index);

    std::function<void()> on_click;

private:
    std::vector<std::string> items_;
    std::vector<bool> checked_;
    int item_index_ = -1;
};

class QUORVEL_PRIVATE_API CheckBox : public Control {
public:
    CheckBox(std::string name, Bounds bounds, std::string caption, bool checked = false)
        : Control(std::move(name), bounds), caption_(std::move(caption)), checked_(checked) {}
    ~CheckBox() override;
    const std::string& caption() const { return caption_; }
    bool checked() const { return checked_; }
    void set_checked(bool value) { checked_ = value; }
    // The user clicks it: the tick flips.
    void click() {
        if (accepts_input()) checked_ = !checked_;
    }

private:
    std::string caption_;
    bool checked_;
};

// A bar from min to max; the position is kept inside that range.
class QUORVEL_PRIVATE_API ProgressBar : public Control {
public:
    ProgressBar(std::string name, Bounds bounds, int min = 0, int max = 100)
        : Control(std::move(name), bounds), min_(min), max_(max), position_(min) {}
    ~ProgressBar() override;
    int min() const { return min_; }
    int max() const { return max_; }
    int position() const { return position_; }
    void set_position(int position);
    // How often the bar was asked to repaint itself (a display layer redraws then).
    int repaints() const { return repaints_; }
    void repaint() { ++repaints_; }

private:
    int min_;
    int max_;
    int position_;
    int repaints_ = 0;
};

// An edit with a label above it, as one control.
class QUORVEL_PRIVATE_API LabeledEdit : public Edit {
public:
    // The label sits this many pixels above the edit, its left edge aligned with it.
    static constexpr int kLabelSpacing = 3;

    LabeledEdit(std::string name, Bounds bounds, std::string label_caption, std::string text = {})
        : Edit(std::move(name), bounds, std::move(text)),
          label_caption_(std::move(label_caption)) {}
    ~LabeledEdit() override;
    const std::string& label_caption() const { return label_caption_; }

private:
    std::string label_caption_;
};

// What a picture button shows.
enum class Glyph { None, Folder };

class QUORVEL_PRIVATE_API PictureButton : public Button {
public:
    PictureButton(std::string name, Bounds bounds, Glyph glyph)
        : Button(std::move(name), bounds, std::string()), glyph_(glyph) {}
    ~PictureButton() override;
    Glyph glyph() const { return glyph_; }

private:
    Glyph glyph_;
};

}  // namespace quorvel::toolkit
