#include "platform/last_error.h"

#include <cstring>

namespace quorvel::platform {
namespace {
// Per thread, as Win32 keeps it.
thread_local DWORD t_last_error = 0;
}  // namespace

void set_last_error(DWORD code) { t_last_error = code; }

DWORD last_error() { return t_last_error; }

std::string system_error_text(DWORD code) {
    char buffer[256];
    // GNU strerror_r: returns either a static text or `buffer`.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return {};
    return text;
}

}  // namespace quorvel::platform

extern "C" {

QUORVEL_GDI_API DWORD GetLastError(void) { return quorvel::platform::last_error(); }

QUORVEL_GDI_API void SetLastError(DWORD code) { quorvel::platform::set_last_error(code); }
}
