// MessageBoxA: every box goes to the presenter in force.
#include <cerrno>

#include "platform/last_error.h"
#include "platform/presenter.h"

extern "C" {

QUORVEL_GDI_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    try {
        // Win32 shows "Error" when no caption is given.
        return quorvel::platform::presenter().message_box(owner, text ? text : "",
                                                          caption ? caption : "Error", type);
    } catch (...) {
        quorvel::platform::set_last_error(ENOMEM);
        return 0;
    }
}

}  // extern "C"
