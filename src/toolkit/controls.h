// Headless controls of our own: the state and behaviour the forms need (text, read-only,
// enabled, colour, selection, position, visibility) without any window behind them. A display
// layer may present them later; the form logic only ever talks to these objects.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/private_api.h"

namespace quorvel::toolkit {

class Form;

// The two system colours the dialogs switch between.
enum class Colour { ButtonFace, Window };

struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;   // 0 for controls that size themselves (labels)
    int height = 0;  // 0 for controls whose height follows the font (combo boxes)
};

class QUORVEL_PRIVATE_API Control {
public:
    Control(std::string name, Bounds bounds) : name_(std::move(name)), bounds_(bounds) {}
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    const Bounds& bounds() const { return bounds_; }
    void set_bounds(Bounds bounds) { bounds_ = bounds; }
    bool visible() const { return visible_; }
    void set_visible(bool visible) { visible_ = visible; }
    bool enabled() const { return enabled_; }
    void set_enabled(bool enabled) { enabled_ = enabled; }
    // Position in the tab order, -1 for controls that take no focus.
    int tab_order() const { return tab_order_; }
    void set_tab_order(int order) { tab_order_ = order; }
    Form* parent() const { return parent_; }

    // Whether the user can reach the control at all (enabled and shown).
    bool accepts_input() const { return enabled_ && visible_; }

private:
    friend class Form;
    std::string name_;
    Bounds bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    int tab_order_ = -1;
    Form* parent_ = nullptr;
};

class QUORVEL_PRIVATE_API Label : public Control {
public:
    Label(std::string name, Bounds bounds, std::string caption)
        : Control(std::move(name), bounds), caption_(std::move(caption)) {}
    ~Label() override;
    const std::string& caption() const { return caption_; }
    void set_caption(std::string caption) { caption_ = std::move(caption); }

private:
    std::string caption_;
};

// A framed rectangle that groups controls visually.
class QUORVEL_PRIVATE_API Bevel : public Control {
public:
    Bevel(std::string name, Bounds bounds, bool framed = true)
        : Control(std::move(name), bounds), framed_(framed) {}
    ~Bevel() override;
    bool framed() const { return framed_; }

private:
    bool framed_;
};

class QUORVEL_PRIVATE_API Button : public Control {
public:
    Button(std::string name, Bounds bounds, std::string caption)
        : Control(std::move(name), bounds), caption_(std::move(caption)) {}
    ~Button() override;
    const std::string& caption() const { return caption_; }
    void set_caption(std::string caption) { caption_ = std::move(caption); }

    // A default button answers Enter, a cancel button Esc, anywhere in its form.
    bool is_default() const { return default_; }
    void set_default(bool value) { default_ = value; }
    bool is_cancel() const { return cancel_; }
    void set_cancel(bool value) { cancel_ = value; }
    // The result a click gives the form (0: the click does not close it).
    int modal_result() const { return modal_result_; }
    void set_modal_result(int result) { modal_result_ = result; }

    std::function<void()> on_click;
    // Runs the click handler, then closes the form with the button's modal result.
    void click();

private:
    std::string caption_;
    bool default_ = false;
    bool cancel_ = false;
    int modal_result_ = 0;
};

// A one-line edit with a caret. Typed characters pass the key-press filter first; a filter
// rejects a character by setting it to 0. Text set by code is not filtered.
class QUORVEL_PRIVATE_API Edit : public Control {
public:
    static constexpr char kBackspace = 8;

    Edit(std::string name, Bounds bounds, std::string text = {})
        : Control(std::move(name), bounds), text_(std::move(text)), caret_(text_.size()) {}
    ~Edit() override;
    const std::string& text() const { return text_; }
    // Replaces the text and puts the caret after it.
    void set_text(std::string text);
    bool read_only() const { return read_only_; }
    void set_read_only(bool value) { read_only_ = value; }
    Colour colour() const { return colour_; }
    void set_colour(Colour colour) { colour_ = colour; }
    size_t caret() const { return caret_; }
    void set_caret(size_t position) { caret_ = position < text_.size() ? position : text_.size(); }

    std::function<void(char& key)> on_key_press;
    // One key typed by the user: filtered, then inserted at the caret (backspace deletes the
    // character before it). Returns whether the text changed.
    bool type(char key);
    // Types each character in turn; returns how many changed the text.
    size_t type_text(const std::string& keys);
    // Pasting bypasses the key filter, as on every platform.
    void paste(const std::string& text);

private:
    std::string text_;
    size_t caret_;
    bool read_only_ = false;
    Colour colour_ = Colour::Window;
};

// A drop-down list without free text: the text is the selected item's.
class QUORVEL_PRIVATE_API ComboBox : public Control {
public:
    ComboBox(std::string name, Bounds bounds, std::vector<std::string> items = {})
        : Control(std::move(name), bounds), items_(std::move(items)) {}
    ~ComboBox() override;
    const std::vector<std::string>& items() const { return items_; }
    void set_items(std::vector<std::string> items);
    // -1 when nothing is selected.
    int item_index() const { return item_index_; }
    // Selects an item (an index outside the list selects nothing) and notifies on_change,
    // whether the user or code made the choice, so listeners never miss a selection.
    void set_item_index(int index);
    std::string text() const;

    std::function<void()> on_change;

private:
    std::vector<std::string> items_;
    int item_index_ = -1;
};

}  // namespace quorvel::toolkit
