// Paint Shop Pro reader: the block structure of files of major version 3 and later, the
// general image attributes, the palette and the raster layers' channels, raw, run-length or
// LZ77. Colour images compose every visible raster layer (normal blending, the layer's
// opacity and transparency mask) into blue, green, red, alpha; indexed and gray ones place
// their layers' indexes.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TPSPGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
