// The toolkit's icon class: Windows icon (and cursor) files whose entries are DIBs of 1 to 32
// bits with their AND mask, or PNG images. A file with several entries gives the largest
// one, and among equally large ones the deepest (the first such in the directory), which is
// the entry that shows the most of what the icon's author drew.
#pragma once

#include "toolkit/blend.h"
#include "toolkit/graphic.h"

namespace quorvel::toolkit {

class Icon : public Graphic {
public:
    void LoadFromStream(Stream& stream) override;
    int width() const override { return image_.width; }
    int height() const override { return image_.height; }
    bool empty() const override { return image_.pixels.empty(); }
    // Transparent pixels (AND mask set, or alpha 0) leave the target as it was.
    void draw(Bitmap& target) const override { blend_onto(target, image_); }

private:
    BgraImage image_;
};

}  // namespace quorvel::toolkit
