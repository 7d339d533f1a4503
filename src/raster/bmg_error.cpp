#include "raster/bmg_error.h"

#include <cstring>
#include <string>

#include "platform/last_error.h"

namespace quorvel::raster {
namespace {

constexpr size_t kSlotBytes = 128;
constexpr int kCodeCount = 17;

// One fixed slot per code; only the Windows API slot is ever rewritten.
char g_messages[kCodeCount][kSlotBytes] = {
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

int8_t g_last_error = BMG_OK;

// Puts the system's text for its last error into the Windows API slot. A text longer than
// the slot is cut at 127 characters; no text at all keeps what the slot held.
void refresh_windows_api_slot() {
    const std::string text = platform::system_error_text(GetLastError());
    if (text.empty()) return;
    const size_t length = text.size() < kSlotBytes - 1 ? text.size() : kSlotBytes - 1;
    std::memcpy(g_messages[BMG_ERR_WINDOWS_API], text.data(), length);
    g_messages[BMG_ERR_WINDOWS_API][length] = '\0';
}

}  // namespace

BMGError SetLastImageError(BMGError code) {
    g_last_error = static_cast<int8_t>(code);
    return code;
}

int8_t GetLastImageError() { return g_last_error; }

const char* GetImageErrorText() {
    if (g_last_error == BMG_ERR_WINDOWS_API) refresh_windows_api_slot();
    return ImageErrorText(g_last_error);
}

const char* ImageErrorText(int code) {
    return code < 0 || code >= kCodeCount ? kUnknownCode : g_messages[code];
}

}  // namespace quorvel::raster
