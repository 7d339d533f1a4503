#include "raster/codecs/tiff_messages.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include <quorvel/wingdi.h>

namespace quorvel::raster {
namespace {

// Largest block libtiff may allocate at once for a file: a bound on what a header can claim.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{1} << 31;

int ShowError(TIFF*, void*, const char* module, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    const std::string caption = std::string(module != nullptr ? module : "LIBTIFF") + " Error";
    MessageBoxA(nullptr, text, caption.c_str(), MB_OK | MB_ICONWARNING);
    return 1;  // handled: libtiff's own handler stays silent
}

int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

TIFF* OpenTiffFile(const char* filename, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, ShowError, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, DropWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
    TIFF* tif = TIFFOpenExt(filename, mode, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

}  // namespace quorvel::raster
