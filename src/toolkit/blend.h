// Painting a picture with straight alpha (B, G, R, A bytes per pixel, rows from the top) onto
// a bitmap, and the base of the classes that hold such a picture (icon, metafile).
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/graphic.h"

namespace quorvel::toolkit {

class Bitmap;

struct BgraImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // 4 * width * height
};

// Blends `image` over `target` at (0, 0), clipped; fully transparent pixels leave the target.
void blend_onto(Bitmap& target, const BgraImage& image);

// A picture decoded to straight-alpha BGRA and blended when drawn; a derived class decodes
// into image_.
class BlendedGraphic : public Graphic {
public:
    int width() const override { return image_.width; }
    int height() const override { return image_.height; }
    bool empty() const override { return image_.pixels.empty(); }
    // Transparent pixels (alpha 0, or an icon's AND mask set) leave the target as it was.
    void draw(Bitmap& target) const override { blend_onto(target, image_); }

protected:
    BgraImage image_;
};

}  // namespace quorvel::toolkit
