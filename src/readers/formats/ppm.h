// The portable map reader (PBM, PGM, PPM: plain and raw), loading through the colour manager
// into a 1-bit, 8-bit or 24-bit bitmap.
#pragma once

#include "readers/graphic_ex.h"

namespace quorvel::readers {

class PnmBytes;
struct PnmHeader;

class TPPMGraphic : public TGraphicExGraphic {
public:
    // Fills width, height and the sample layout from the header; false when the file does not
    // begin with "P". A "P" followed by a digit other than 1 to 6 answers true with nothing
    // filled in (such a file loads as an empty bitmap).
    bool read_image_info(toolkit::Stream& stream, int image_index) override;

private:
    void load_image(toolkit::Stream& stream) override;
    // After a header of kinds 1 to 6: checks the size against the file, sets the bitmap up and
    // converts the rows top to bottom.
    void load_rows(PnmBytes& in, const PnmHeader& header);
};

}  // namespace quorvel::readers
