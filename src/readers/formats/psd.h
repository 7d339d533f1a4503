// Photoshop reader: the composite image of a PSD or PDD file in any of its colour modes, raw
// or PackBits, 1, 8 or 16 bits a sample.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

// Option bit of the information record: a bitmap-mode image (1 is black).
inline constexpr uint32_t psdBitmapMode = 1;

class TPSDGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
