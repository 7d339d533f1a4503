// Painting a picture with straight alpha (B, G, R, A bytes per pixel, rows from the top) onto
// a bitmap: what the icon and metafile classes draw with.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::toolkit {

class Bitmap;

struct BgraImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // 4 * width * height
};

// Blends `image` over `target` at (0, 0), clipped; fully transparent pixels leave the target.
void blend_onto(Bitmap& target, const BgraImage& image);

}  // namespace quorvel::toolkit
