// The Qt widget for each kind of toolkit control, and how it forwards the user's actions to the
// control and mirrors the control's state. Generic: no form has Qt code of its own.
#pragma once

#include <QWidget>

#include <functional>

#include "toolkit/controls.h"

namespace quorvel::ui::qt {

struct BoundWidget {
    QWidget* widget = nullptr;
    QWidget* label = nullptr;       // a separate caption above (labelled edits)
    std::function<void()> refresh;  // control -> widget
};

// Null widget for a control kind that has no visual (none today).
BoundWidget make_widget(toolkit::Control& control, QWidget* parent);

}  // namespace quorvel::ui::qt
