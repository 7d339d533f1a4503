// The default presenter's modal forms. Message boxes and folder browsing live with the platform
// layer; a modal form needs the toolkit's forms, so its headless showing lives here.
#include "platform/presenter.h"
#include "toolkit/form.h"

namespace quorvel::platform {

// Without a display a modal form is shown and confirmed at once, as if the user pressed Enter.
int DefaultPresenter::show_modal(toolkit::Form& form) {
    form.begin_show();
    form.press_enter();
    if (form.modal_result() == 0) form.set_modal_result(IDOK);
    return form.modal_result();
}

void Presenter::show_modeless(toolkit::Form& form) { form.begin_show(); }

}  // namespace quorvel::platform
