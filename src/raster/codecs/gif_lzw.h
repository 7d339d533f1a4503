// A bounded GIF LZW decoder for the images giflib refuses: those whose minimum code size is
// above 8 (up to 11, so that codes stay within the format's 12 bits). giflib decodes all
// other GIF images.
#pragma once

#include <cstdint>
#include <span>

namespace quorvel::raster {

// Largest LZW minimum code size a GIF image may have: its first codes are then 12 bits wide.
inline constexpr int kGifMaxMinimumCodeSize = 11;

// Decodes `data` (the image's sub-blocks joined) with minimum code size `min_code_size` (1 to
// 11) until `out` is full; indexes above 255 keep their low byte. False when a code is
// undefined or the data or an end code comes before `out` is full. Reads and writes nothing
// outside the two spans.
bool decode_gif_lzw(int min_code_size, std::span<const uint8_t> data, std::span<uint8_t> out);

}  // namespace quorvel::raster
