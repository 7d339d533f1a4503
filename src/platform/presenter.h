// Everything that would put a window in front of the user goes through one presenter: message
// boxes, modal dialogs and folder browsing. Without a display the default presenter writes
// "Caption: text" to standard error and answers as the dialog's default button would; tests
// install a recording presenter; the command-line tool answers on the terminal.
#pragma once

#include <string>

#include <quorvel/wingdi.h>

#include "platform/private_api.h"
#include "platform/per_call.h"

namespace quorvel::platform {

// What a presenter shows: a form (the toolkit's forms are windows), as far as showing it
// without a display needs.
class QUORVEL_PRIVATE_API Window {
public:
    // Makes the window visible and runs its show hook.
    virtual void begin_show() = 0;
    // Enter: the default button's action.
    virtual void press_enter() = 0;
    virtual int modal_result() const = 0;
    virtual void set_modal_result(int result) = 0;

protected:
    ~Window() = default;
};

class QUORVEL_PRIVATE_API Presenter {
public:
    virtual ~Presenter() = default;
    // Answers IDOK, IDCANCEL, IDYES or IDNO, as MessageBoxA does for the buttons in `type`.
    virtual int message_box(HWND owner, const std::string& text, const std::string& caption,
                            unsigned type) = 0;
    // Shows the form modally and returns its modal result (IDOK or IDCANCEL).
    virtual int show_modal(Window& form) = 0;
    // Shows the form without waiting for it (a window on the host's message loop); by default
    // it only becomes visible and runs its show hook.
    virtual void show_modeless(Window& form);
    // Lets pending window messages be handled, as a long run does between its steps so that
    // a press of a button is noticed. Headless there is nothing pending.
    virtual void process_messages() {}
    // Lets the user pick a folder, starting at `folder`; true and the choice in `folder`, or
    // false when the user cancelled.
    virtual bool browse_for_folder(const std::string& title, std::string& folder) = 0;
};

// The default presenter: stderr for messages, default buttons, forms run headless.
class DefaultPresenter : public Presenter {
public:
    int message_box(HWND owner, const std::string& text, const std::string& caption,
                    unsigned type) override;
    // Without a display a modal form is shown and confirmed at once, as if the user pressed
    // Enter.
    int show_modal(Window& form) override;
    bool browse_for_folder(const std::string& title, std::string& folder) override;
};

// The presenter in force on the calling thread: the one its call installed with a
// PresenterScope, else the process-wide one (the default one unless replaced).
Presenter& presenter();
// Installs a process-wide presenter (null restores the default); returns the previous one.
QUORVEL_PRIVATE_API Presenter* set_presenter(Presenter* replacement);
// True while a process-wide presenter other than the default one is in force.
bool presenter_replaced();
// A call's own presenter, for the calling thread only, while the scope lasts.
using PresenterScope = PerCall<Presenter>::Scope;

}  // namespace quorvel::platform
