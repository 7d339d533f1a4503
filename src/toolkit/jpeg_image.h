// The toolkit's JPEG image class on libjpeg-turbo: decodes JPEG/JFIF streams at full size
// with the accurate inverse transform (colour to 24 bits, gray to 8 bits with a gray palette)
// and encodes a picture as baseline JFIF.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/bitmap.h"

namespace quorvel::toolkit {

class JpegImage : public Graphic {
public:
    // Throws EInvalidGraphic with libjpeg's message on a stream it cannot decode whole; a
    // stream that ends early is refused rather than padded with gray rows.
    void LoadFromStream(Stream& stream) override;
    int width() const override { return bitmap_.width(); }
    int height() const override { return bitmap_.height(); }
    bool empty() const override { return bitmap_.empty(); }
    void draw(Bitmap& target) const override { bitmap_.draw(target); }

    // Takes a copy of a picture to encode.
    void assign(const Graphic& picture);
    const Bitmap& bitmap() const { return bitmap_; }

    // Baseline JFIF at `quality` (1..100) in colour; throws EInvalidGraphic for an empty image.
    std::vector<uint8_t> save_to_memory() const;

    int quality = 90;

private:
    Bitmap bitmap_;
};

// The file the toolkit's writers make of a bitmap: a Windows bitmap, or with `jpeg` a JFIF
// image at `quality`. Throws what the writer throws.
std::vector<uint8_t> encode_bmp_or_jpeg(const Bitmap& bitmap, bool jpeg, int quality);

}  // namespace quorvel::toolkit
