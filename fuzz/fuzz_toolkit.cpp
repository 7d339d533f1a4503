// The toolkit's own picture classes on arbitrary bytes: the first byte picks the Windows
// bitmap, icon, JPEG or metafile class, the rest is the file. A load either fails with a
// graphic error or gives a picture that draws onto a 24-bit bitmap of its size.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace {

const quorvel::toolkit::GraphicClass& pick(uint8_t selector) {
    using namespace quorvel::toolkit;
    switch (selector % 4) {
        case 0:
            return bitmap_class();
        case 1:
            return icon_class();
        case 2:
            return jpeg_class();
        default:
            return metafile_class();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorvel::toolkit;
    if (size < 1) return 0;
    quorvel::fuzz::install_silent_presenter();
    std::unique_ptr<Graphic> graphic = pick(data[0]).make();
    Stream stream(std::span<const uint8_t>(data + 1, size - 1));
    try {
        graphic->LoadFromStream(stream);
        Bitmap canvas;
        canvas.assign(*graphic);
        canvas.set_pixel_format(PixelFormat::Bit24);
    } catch (const GraphicError&) {
    }
    return 0;
}
