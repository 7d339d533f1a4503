// Inks to light, one rule for every CMYK reader: red, green and blue are (1 - their ink) x
// (1 - black), 0 meaning no ink. Adobe's JPEG writers store the inks inverted (0 = full ink),
// which a JPEG's Adobe marker tells; TIFF and other JPEGs store them plainly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::formats {

inline uint8_t light_of_ink(unsigned ink, unsigned black) {
    return static_cast<uint8_t>(((255 - ink) * (255 - black) + 127) / 255);
}

// A row of CMYK pixels (four bytes each) as blue, green and red.
inline void cmyk_row_to_bgr(const uint8_t* in, uint8_t* out, size_t width, bool inverted) {
    const unsigned flip = inverted ? 255 : 0;
    for (size_t x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned black = in[3] ^ flip;
        for (int c = 0; c < 3; ++c) out[c] = light_of_ink(in[2 - c] ^ flip, black);
    }
}

}  // namespace quorvel::formats
