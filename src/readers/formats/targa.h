// Truevision Targa reader: colour-mapped, true-colour and gray images, raw or run-length.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TTargaGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
