#include "ui/qt/form_window.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include <algorithm>

#include <quorvel/wingdi.h>

#include "ui/qt/control_widgets.h"

namespace quorvel::ui::qt {

FormWindow::FormWindow(toolkit::Form& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowTitle(QString::fromLocal8Bit(form.caption().c_str()));
    setFixedSize(form.width(), form.height());
    // The forms are laid out for an 8-point dialog font; a larger one would clip captions.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    for (toolkit::Control* control : form.controls()) add_widget(*control);
    // Tab order follows the controls' own.
    auto ordered = widgets_;
    std::erase_if(ordered, [](const auto& entry) { return entry.first->tab_order() < 0; });
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.first->tab_order() < b.first->tab_order();
    });
    for (size_t i = 1; i < ordered.size(); ++i)
        setTabOrder(ordered[i - 1].second, ordered[i].second);
    connect(&timer_, &QTimer::timeout, this, &FormWindow::refresh);
    timer_.start(50);
    refresh();
}

void FormWindow::add_widget(toolkit::Control& control) {
    BoundWidget bound = make_widget(control, this);
    if (bound.widget == nullptr) return;
    widgets_.emplace_back(&control, bound.widget);
    QWidget* widget = bound.widget;
    QWidget* label = bound.label;
    refreshers_.push_back([&control, widget, label, refresh = bound.refresh] {
        refresh();
        widget->setEnabled(control.enabled());
        widget->setVisible(control.visible());
        if (label != nullptr) label->setVisible(control.visible());
    });
}

QWidget* FormWindow::widget_for(const std::string& control_name) const {
    for (const auto& [control, widget] : widgets_) {
        if (control->name() == control_name) return widget;
    }
    return nullptr;
}

void FormWindow::refresh() {
    for (const auto& refresh_one : refreshers_) refresh_one();
    if (!form_.visible() && isVisible() && !closing_) {
        closing_ = true;
        if (isModal()) done(form_.modal_result() != 0 ? form_.modal_result() : IDCANCEL);
        else hide();
        closing_ = false;
    }
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) form_.press_enter();
    else if (event->key() == Qt::Key_Escape) form_.press_escape();
    else return QDialog::keyPressEvent(event);
    refresh();
}

// The title bar's close button: a dialog closes as with Cancel, a window is closed (hidden).
void FormWindow::closeEvent(QCloseEvent* event) {
    if (form_.visible()) {
        if (isModal()) form_.press_escape();
        else form_.close();
    }
    if (form_.visible()) {
        event->ignore();
        return;
    }
    refresh();
    event->accept();
}

void FormWindow::reject() {
    if (form_.visible()) {
        if (isModal()) form_.press_escape();
        else form_.close();
    }
    refresh();
    if (!form_.visible() && isVisible()) QDialog::reject();
}

}  // namespace quorvel::ui::qt
