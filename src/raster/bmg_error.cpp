#include "raster/bmg_error.h"

#include <cstring>
#include <string>

#include "platform/last_error.h"
#include "raster/call_state.h"

namespace quorvel::raster {
namespace {

constexpr int kCodeCount = 17;

// One fixed text per code; the Windows API one is the caller's slot (CallState), which the
// system's text for its last error rewrites.
const char kMessages[kCodeCount][kErrorTextBytes] = {
    "No Error",
    "Corrupted file or invalid file format",
    "Invalid bits per pixel for this file format",
    "Memory allocation error",
    "Invalid requested image size",
    "Invalid bitmap handle",
    "Windows API Error",
    "Unable to open file",
    "Unsupported file format option",
    "Invalid pointer to a BMG image",
    "Unsupported file extension",
    "Error reading file",
    "Error writing to the output file",
    "Invalid pointer to a GeoTIFF structure",
    "The background image is undefined",
    "The background image is too small",
    "Corrupt File",
};

// A code outside the table (it can only come from a cast) still gets a readable text.
const char kUnknownCode[] = "Unknown error";

// Puts the system's text for its last error into the Windows API slot. A text longer than
// the slot is cut at 127 characters; no text at all keeps what the slot held.
void refresh_windows_api_slot(char (&slot)[kErrorTextBytes]) {
    const std::string text = platform::system_error_text(GetLastError());
    if (text.empty()) return;
    const size_t length = text.size() < kErrorTextBytes - 1 ? text.size() : kErrorTextBytes - 1;
    std::memcpy(slot, text.data(), length);
    slot[length] = '\0';
}

}  // namespace

BMGError SetLastImageError(BMGError code) {
    call_state().last_error = static_cast<int8_t>(code);
    return code;
}

int8_t GetLastImageError() { return call_state().last_error; }

const char* GetImageErrorText() {
    CallState& state = call_state();
    if (state.last_error == BMG_ERR_WINDOWS_API) refresh_windows_api_slot(state.windows_api_text);
    return ImageErrorText(state.last_error);
}

const char* ImageErrorText(int code) {
    if (code == BMG_ERR_WINDOWS_API) return call_state().windows_api_text;
    return code < 0 || code >= kCodeCount ? kUnknownCode : kMessages[code];
}

}  // namespace quorvel::raster
