// SGI image reader: 1, 3 or 4 channels of 8 or 16 bits, verbatim or run-length, rows bottom-up.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TSGIGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
