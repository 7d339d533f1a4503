// Every reader of the extended readers' registry, loaded from memory through the picture
// loader as the library loads a file: the first byte picks the extension (modulo the number
// of registered extensions, in the registry's order), the rest is the file. A load may fail
// only with one of the graphic error kinds; what loads must convert to 24 bits.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "readers/registry.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace {

using namespace quorvel;

void load_one(const std::string& extension, const uint8_t* data, size_t size) {
    toolkit::Picture picture;
    try {
        // A directory that does not exist, so that no sibling file (CUT's palette) is found.
        picture.load_from_memory("/nonexistent-quorvel-fuzz/input." + extension,
                                 std::vector<uint8_t>(data, data + size));
    } catch (const toolkit::GraphicError&) {
        return;
    }
    const toolkit::Graphic& graphic = *picture.graphic();
    if (graphic.empty()) return;
    toolkit::Bitmap copy;
    copy.assign(graphic);
    copy.set_pixel_format(toolkit::PixelFormat::Bit24);
    if (copy.width() != graphic.width() || copy.height() != graphic.height()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::install_silent_presenter();
    readers::file_format_list();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const auto& extensions = readers::file_format_list().extensions();
    load_one(extensions[data[0] % extensions.size()].extension, data + 1, size - 1);
    return 0;
}
