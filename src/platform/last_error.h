// The calling thread's last system error, as Win32 keeps it, and its message text.
#pragma once

#include <string>

#include <quorvel/wingdi.h>

namespace quorvel::platform {

// Records `code` as the thread's last error (what GetLastError answers next).
void set_last_error(DWORD code);
DWORD last_error();

// The system's text for an error code (our stand-in for FormatMessageA). Empty when the
// system has no text for the code.
std::string system_error_text(DWORD code);

}  // namespace quorvel::platform
