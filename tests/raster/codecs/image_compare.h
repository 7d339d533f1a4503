// Turns a BMGImage into a top-down RGB(A) picture, so that our records can be compared with
// what third-party tools decode.
#pragma once

#include <cstdint>

#include "raster/bmg_image.h"
#include "support/picture_convert.h"
#include "support/test_support.h"

namespace quorvel::testing {

inline Picture to_picture(const raster::BMGImage& img, bool with_alpha = false) {
    Picture picture;
    picture.width = static_cast<int>(img.width);
    picture.height = static_cast<int>(img.height);
    picture.channels = with_alpha ? 4 : 3;
    picture.samples.resize(static_cast<size_t>(img.width) * img.height * picture.channels);
    size_t k = 0;
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* row = img.pixels + static_cast<size_t>(img.height - 1 - y) * img.rowBytes;
        for (uint32_t x = 0; x < img.width; ++x) {
            uint8_t b = 0, g = 0, r = 0, a = 255;
            if (img.bitsPerPixel <= 8) {
                const unsigned index = record_index(img, row, x);
                const uint8_t* p = img.palette + index * img.paletteEntryBytes;
                b = p[0], g = p[1], r = p[2];
            } else if (img.bitsPerPixel == 16) {
                const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
                b = static_cast<uint8_t>((v & 31) << 3);
                g = static_cast<uint8_t>(((v >> 5) & 31) << 3);
                r = static_cast<uint8_t>(((v >> 10) & 31) << 3);
            } else {
                const unsigned step = img.bitsPerPixel / 8;
                b = row[step * x], g = row[step * x + 1], r = row[step * x + 2];
                if (step == 4) a = row[step * x + 3];
            }
            picture.samples[k++] = r;
            picture.samples[k++] = g;
            picture.samples[k++] = b;
            if (with_alpha) picture.samples[k++] = a;
        }
    }
    return picture;
}

// Index of the first differing sample, or -1.
inline long first_difference(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels) return 0;
    for (size_t i = 0; i < a.samples.size(); ++i)
        if (a.samples[i] != b.samples[i]) return static_cast<long>(i);
    return -1;
}

}  // namespace quorvel::testing
