// Kodak Photo CD reader: the three base resolutions of an image pack (192 x 128, 384 x 256 and
// 768 x 512), planar Photo YCC with chroma halved both ways, turned as the pack says; of an
// overview pack, its first 192 x 128 thumbnail.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TPCDGraphic : public TGraphicExGraphic {
public:
    // `image_index` is the resolution: 0..2 the base ones, 3..5 the Huffman-coded ones.
    bool read_image_info(toolkit::Stream& stream, int image_index) override;

    // The resolution a load delivers (2, the 768 x 512 base, unless set). Indexes 3 to
    // 5 are delivered as the base image enlarged to their size: their Huffman-coded detail is
    // not decoded.
    void set_resolution(int index) { resolution_ = index < 0 ? 0 : index > 5 ? 5 : index; }

private:
    void load_image(toolkit::Stream& stream) override;
    int resolution_ = 2;
};

}  // namespace quorvel::readers
