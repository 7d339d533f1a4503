#include "support/picture_convert.h"

namespace quorvel::testing {

Picture normalised(const Picture& in, bool alpha) {
    Picture p;
    p.width = in.width;
    p.height = in.height;
    p.channels = alpha ? 4 : 3;
    p.samples.resize(static_cast<size_t>(p.width) * p.height * p.channels);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            uint8_t* out = &p.samples[(static_cast<size_t>(y) * p.width + x) * p.channels];
            const bool gray = in.channels <= 2;
            for (int c = 0; c < 3; ++c) out[c] = in.at(x, y, gray ? 0 : c);
            if (alpha)
                out[3] = in.channels == 2   ? in.at(x, y, 1)
                         : in.channels == 4 ? in.at(x, y, 3)
                                            : 255;
        }
    return p;
}

unsigned record_index(const raster::BMGImage& img, const uint8_t* row, uint32_t x) {
    const unsigned depth = img.bitsPerPixel;
    const size_t bit = static_cast<size_t>(x) * depth;
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

}  // namespace quorvel::testing
