#include "toolkit/blend.h"

#include <algorithm>

#include "platform/gdi_objects.h"
#include "toolkit/bitmap.h"

namespace quorvel::toolkit {
namespace {

uint8_t mix(uint8_t over, uint8_t under, unsigned alpha) {
    return static_cast<uint8_t>((over * alpha + under * (255 - alpha) + 127) / 255);
}

void blend_row(uint8_t* row, int bits, const uint8_t* in, int width) {
    for (int x = 0; x < width; ++x, in += 4) {
        const unsigned alpha = in[3];
        if (alpha == 0) continue;
        RGBQUAD under = platform::read_pixel(row, x, bits, {});
        const RGBQUAD colour{mix(in[0], under.rgbBlue, alpha), mix(in[1], under.rgbGreen, alpha),
                             mix(in[2], under.rgbRed, alpha), 0};
        platform::write_pixel(row, x, bits, colour);
    }
}

}  // namespace

void blend_onto(Bitmap& target, const BgraImage& image) {
    if (target.empty()) return;
    const PixelFormat format = target.pixel_format();
    const bool indexed = storage_bits(format) <= 8;
    // Indexed targets are blended in colour and mapped back to their palette.
    if (indexed) target.set_pixel_format(PixelFormat::Bit24);
    const int bits = storage_bits(target.pixel_format());
    const int w = std::min(image.width, target.width()),
              h = std::min(image.height, target.height());
    for (int y = 0; y < h; ++y)
        blend_row(target.scanline(y), bits, &image.pixels[size_t(y) * image.width * 4], w);
    if (indexed) target.set_pixel_format(format);
}

}  // namespace quorvel::toolkit
