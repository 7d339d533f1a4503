// Paint Shop Pro reader: the block structure of files of major version 3 and later, the
// general image attributes, the palette and the first raster layer's image channels, raw,
// run-length or LZ77.
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
