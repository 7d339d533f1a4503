// Windows device-independent bitmaps in memory, as BMP files and icon entries hold them: the
// information header (OS/2 1.x and 2.x, Windows 3 to V5), colour table, bit fields and RLE
// rows, every offset and size checked against the bytes before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <quorvel/wingdi.h>

#include "formats/bmp_header.h"

namespace quorvel::toolkit {
class Bitmap;
}

namespace quorvel::toolkit::dib {

using formats::bmp::kBiAlphaBitfields;
using formats::bmp::kBiBitfields;
using formats::bmp::kBiRgb;
using formats::bmp::kBiRle4;
using formats::bmp::kBiRle8;

struct DibLayout {
    uint32_t header_bytes = 0;
    int32_t width = 0;
    int32_t height = 0;  // rows of the image, always positive
    bool top_down = false;
    uint16_t bits = 0;
    uint32_t compression = kBiRgb;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (16 and 32 bits)
    std::vector<RGBQUAD> colours;
    size_t pixels_at = 0;  // offset of the rows in the bytes
};

using formats::bmp::stored_row_bytes;

// Reads the information header at `at` and the colour table behind it. `pixel_offset` is
// where the rows begin (0: right after the table). Throws EInvalidGraphic on anything that
// is not a DIB we can decode or that the bytes cannot hold.
DibLayout read_layout(std::span<const uint8_t> bytes, size_t at, size_t pixel_offset);

// Decodes the rows into `out`: indexed depths keep their indexes and palette, 16 and 32 bits
// come out as 24 bits (through the masks), 24 bits as they are.
void decode_pixels(std::span<const uint8_t> bytes, const DibLayout& layout, Bitmap& out);

// The 8-bit indexes of an RLE8 or RLE4 image, rows from the bottom up; pixels the codes skip
// stay 0. Runs that overshoot a row are cut; codes past the end of the bytes end the image.
std::vector<uint8_t> decode_rle(std::span<const uint8_t> data, int width, int height, bool rle4);

}  // namespace quorvel::toolkit::dib
