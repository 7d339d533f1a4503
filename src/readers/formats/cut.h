// Dr. Halo CUT reader: 8-bit run-length rows; the colours come from the .pal file beside the
// picture, handed over by the file side, or are a gray ramp without one.
#pragma once

#include <vector>

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class TCUTGraphic : public TGraphicExGraphic {
public:
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;
    std::string sibling_extension() const override { return ".pal"; }
    void set_sibling(std::vector<uint8_t> bytes, bool found) override;

private:
    void load_image(toolkit::Stream& stream);
    std::vector<uint8_t> palette_file_;
    bool have_palette_file_ = false;
};

}  // namespace quorvel::readers
