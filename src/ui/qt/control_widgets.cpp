#include "ui/qt/control_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

#include "toolkit/list_controls.h"
#include "ui/qt/form_window.h"

namespace quorvel::ui::qt {
namespace {

QString text_of(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }
std::string text_of(const QString& text) { return text.toLocal8Bit().toStdString(); }

// After a user action the whole window shows the form's new state at once.
void refresh_window(QWidget* widget) {
    if (auto* window = dynamic_cast<FormWindow*>(widget->window())) window->refresh();
}

void place(QWidget* widget, const toolkit::Control& control) {
    const toolkit::Bounds& b = control.bounds();
    const QSize hint = widget->sizeHint();
    int width = b.width > 0 ? b.width : hint.width();
    // A check box's caption may need more room in this platform's font than in the original's.
    if (qobject_cast<QCheckBox*>(widget) != nullptr) width = std::max(width, hint.width());
    widget->setGeometry(b.left, b.top, width, b.height > 0 ? b.height : hint.height());
}

// Typed characters go through the control's own key filter; the widget then shows the result.
class KeyForwarder : public QObject {
public:
    KeyForwarder(toolkit::Edit& edit, QLineEdit* widget)
        : QObject(widget), edit_(edit), widget_(widget) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        char typed = 0;
        if (key->key() == Qt::Key_Backspace) typed = toolkit::Edit::kBackspace;
        else if (key->text().size() == 1 && key->text()[0].isPrint() &&
                 !(key->modifiers() & Qt::ControlModifier))
            typed = key->text().toLatin1()[0];
        if (typed == 0) return false;
        edit_.set_caret(static_cast<size_t>(widget_->cursorPosition()));
        edit_.type(typed);
        widget_->setText(text_of(edit_.text()));
        widget_->setCursorPosition(static_cast<int>(edit_.caret()));
        return true;
    }

private:
    toolkit::Edit& edit_;
    QLineEdit* widget_;
};

BoundWidget make_label(toolkit::Label& label, QWidget* parent) {
    auto* widget = new QLabel(text_of(label.caption()), parent);
    return {widget, nullptr, [&label, widget] {
                widget->setText(text_of(label.caption()));
                widget->adjustSize();
            }};
}

BoundWidget make_bevel(toolkit::Bevel& bevel, QWidget* parent) {
    auto* widget = new QFrame(parent);
    widget->setFrameShape(bevel.framed() ? QFrame::Box : QFrame::NoFrame);
    widget->setFrameShadow(QFrame::Sunken);
    widget->lower();
    return {widget, nullptr, [] {}};
}

BoundWidget make_button(toolkit::Button& button, QWidget* parent) {
    auto* widget = new QPushButton(text_of(button.caption()), parent);
    if (auto* picture = dynamic_cast<toolkit::PictureButton*>(&button);
        picture && picture->glyph() == toolkit::Glyph::Folder) {
        widget->setIcon(widget->style()->standardIcon(QStyle::SP_DirIcon));
    }
    widget->setAutoDefault(false);
    widget->setDefault(button.is_default());
    QObject::connect(widget, &QPushButton::clicked, [&button, widget] {
        button.click();
        refresh_window(widget);
    });
    return {widget, nullptr, [&button, widget] { widget->setText(text_of(button.caption())); }};
}

BoundWidget make_edit(toolkit::Edit& edit, QWidget* parent) {
    auto* widget = new QLineEdit(text_of(edit.text()), parent);
    widget->installEventFilter(new KeyForwarder(edit, widget));
    // Pasting, cutting and deleting bypass the key filter, as on every platform.
    QObject::connect(widget, &QLineEdit::textEdited, [&edit](const QString& text) {
        if (!edit.read_only()) edit.set_text(text_of(text));
    });
    BoundWidget bound{widget, nullptr, {}};
    if (auto* labeled = dynamic_cast<toolkit::LabeledEdit*>(&edit)) {
        auto* label = new QLabel(text_of(labeled->label_caption()), parent);
        label->adjustSize();
        label->move(edit.bounds().left,
                    edit.bounds().top - label->height() - toolkit::LabeledEdit::kLabelSpacing);
        bound.label = label;
    }
    bound.refresh = [&edit, widget] {
        if (text_of(widget->text()) != edit.text()) widget->setText(text_of(edit.text()));
        widget->setReadOnly(edit.read_only());
        QPalette palette = widget->palette();
        palette.setColor(
            QPalette::Base,
            widget->style()->standardPalette().color(
                edit.colour() == toolkit::Colour::ButtonFace ? QPalette::Button : QPalette::Base));
        widget->setPalette(palette);
    };
    return bound;
}

BoundWidget make_combo(toolkit::ComboBox& combo, QWidget* parent) {
    auto* widget = new QComboBox(parent);
    for (const std::string& item : combo.items()) widget->addItem(text_of(item));
    QObject::connect(widget, &QComboBox::activated, [&combo, widget](int index) {
        combo.set_item_index(index);
        refresh_window(widget);
    });
    return {widget, nullptr, [&combo, widget] {
                if (widget->currentIndex() != combo.item_index())
                    widget->setCurrentIndex(combo.item_index());
            }};
}

BoundWidget make_check_list(toolkit::CheckListBox& list, QWidget* parent) {
    auto* widget = new QListWidget(parent);
    for (const std::string& item : list.items()) {
        auto* row = new QListWidgetItem(text_of(item), widget);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setCheckState(Qt::Unchecked);
    }
    auto refresh = [&list, widget] {
        const QSignalBlocker blocker(widget);
        for (int i = 0; i < widget->count(); ++i) {
            const Qt::CheckState state =
                list.checked(static_cast<size_t>(i)) ? Qt::Checked : Qt::Unchecked;
            if (widget->item(i)->checkState() != state) widget->item(i)->setCheckState(state);
        }
        if (widget->currentRow() != list.item_index()) widget->setCurrentRow(list.item_index());
    };
    // A tick the user changed is the control's click on that item; the control decides the rest.
    QObject::connect(widget, &QListWidget::itemChanged, [&list, widget](QListWidgetItem* item) {
        const int row = widget->row(item);
        if ((item->checkState() == Qt::Checked) != list.checked(static_cast<size_t>(row)))
            list.click_item(static_cast<size_t>(row));
        refresh_window(widget);
    });
    QObject::connect(widget, &QListWidget::currentRowChanged,
                     [&list](int row) { list.set_item_index(row); });
    return {widget, nullptr, refresh};
}

BoundWidget make_check_box(toolkit::CheckBox& box, QWidget* parent) {
    auto* widget = new QCheckBox(text_of(box.caption()), parent);
    QObject::connect(widget, &QCheckBox::clicked, [&box, widget] {
        box.click();
        refresh_window(widget);
    });
    return {widget, nullptr, [&box, widget] {
                if (widget->isChecked() != box.checked()) widget->setChecked(box.checked());
            }};
}

BoundWidget make_progress(toolkit::ProgressBar& bar, QWidget* parent) {
    auto* widget = new QProgressBar(parent);
    widget->setRange(bar.min(), bar.max());
    widget->setTextVisible(false);
    return {widget, nullptr, [&bar, widget] { widget->setValue(bar.position()); }};
}

template <class Kind, class Maker>
bool try_make(toolkit::Control& control, QWidget* parent, Maker maker, BoundWidget& out) {
    auto* kind = dynamic_cast<Kind*>(&control);
    if (kind == nullptr) return false;
    out = maker(*kind, parent);
    return true;
}

}  // namespace

BoundWidget make_widget(toolkit::Control& control, QWidget* parent) {
    BoundWidget bound;
    const bool made = try_make<toolkit::Label>(control, parent, make_label, bound) ||
                      try_make<toolkit::Bevel>(control, parent, make_bevel, bound) ||
                      try_make<toolkit::Button>(control, parent, make_button, bound) ||
                      try_make<toolkit::Edit>(control, parent, make_edit, bound) ||
                      try_make<toolkit::ComboBox>(control, parent, make_combo, bound) ||
                      try_make<toolkit::CheckListBox>(control, parent, make_check_list, bound) ||
                      try_make<toolkit::CheckBox>(control, parent, make_check_box, bound) ||
                      try_make<toolkit::ProgressBar>(control, parent, make_progress, bound);
    if (!made) return {};
    bound.widget->setObjectName(QString::fromStdString(control.name()));
    place(bound.widget, control);
    return bound;
}

}  // namespace quorvel::ui::qt
