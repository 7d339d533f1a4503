// Portable Network Graphics reader on libpng: every colour type and depth, interlaced or not,
// transparency as alpha, the file's gamma through the colour manager.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TPNGGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
