// A real Qt window for any headless form: one widget per toolkit control, made generically by
// the control's kind. The form stays the single source of truth: user actions are forwarded to
// its controls (clicks, typed keys, ticks, selections) and the widgets are refreshed from them.
#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>
#include <vector>

#include "toolkit/form.h"

namespace quorvel::ui::qt {

class FormWindow : public QDialog {
public:
    explicit FormWindow(toolkit::Form& form, QWidget* parent = nullptr);

    toolkit::Form& form() { return form_; }
    // Brings every widget in line with its control, and hides the window once the form is.
    void refresh();
    // The widget that shows a control (by the control's name), null if none.
    QWidget* widget_for(const std::string& control_name) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void add_widget(toolkit::Control& control);
    void bind(QWidget* widget, toolkit::Control& control, std::function<void()> refresh);

    toolkit::Form& form_;
    std::vector<std::pair<toolkit::Control*, QWidget*>> widgets_;
    std::vector<std::function<void()>> refreshers_;
    QTimer timer_;
    bool closing_ = false;
};

}  // namespace quorvel::ui::qt
