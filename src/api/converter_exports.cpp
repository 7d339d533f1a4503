// ShowFileConverter: shows the library's converter window through the presenter in force: a
// real window when a display and the desktop module are there, else headless (it only runs the
// window's show handler).
#include <quorvel/quorvel.h>

#include "api/guard.h"
#include "ui/converter_form.h"
#include "ui/desktop_module.h"

extern "C" {

QUORVEL_API void ShowFileConverter(void) {
    quorvel::api::guarded_void([] {
        quorvel::ui::TFileFormatConverterForm& form = quorvel::ui::converter_form();
        // Showing a window that is already up only brings it forward; its show handler ran.
        if (form.visible()) return;
        quorvel::ui::use_desktop_presenter();
        form.show();
    });
}

QUORVEL_API void _ShowFileConverter(void) __attribute__((alias("ShowFileConverter")));
}
