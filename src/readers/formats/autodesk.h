// Autodesk Animator PIC/CEL reader: a 32-byte header, a 256-colour palette of 6-bit values,
// then raw 8-bit rows, top to bottom.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TAutodeskGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
