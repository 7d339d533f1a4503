// Alias/Wavefront RLA reader: run-length coded colour channels (and a matte channel as alpha),
// one offset-table entry a scan line, scan lines bottom-up.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

// Option bit of the information record: scan lines are stored bottom first.
inline constexpr uint32_t rlaBottomUp = 1;

class TRLAGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    void load_image(toolkit::Stream& stream);
};

}  // namespace quorvel::readers
