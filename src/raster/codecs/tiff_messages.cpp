#include "raster/codecs/tiff_messages.h"

#include <string>

#include <quorvel/wingdi.h>

#include "formats/tiff_glue.h"

namespace quorvel::raster {
namespace {

void ShowError(const char* module, const char* text) {
    const std::string caption = std::string(module != nullptr ? module : "LIBTIFF") + " Error";
    MessageBoxA(nullptr, text, caption.c_str(), MB_OK | MB_ICONWARNING);
}

constexpr formats::TiffErrorSink kShowErrors{ShowError};

}  // namespace

TIFF* OpenTiffFile(const char* filename, const char* mode) {
    return formats::open_tiff_file(filename, mode, &kShowErrors);
}

}  // namespace quorvel::raster
