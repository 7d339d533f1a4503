// ZSoft Paintbrush reader: 1 to 8 bits in up to four planes, raw or run-length, with the
// header's 16-colour or the trailing 256-colour palette.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TPCXGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
