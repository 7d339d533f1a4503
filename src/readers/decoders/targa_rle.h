// Truevision run-length coding: a control byte c; top bit set repeats the next pixel
// (c and 127) + 1 times, clear copies (c and 127) + 1 literal pixels. A packet may run across
// rows, so the decoder keeps what is left of it between calls.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TTargaRLEDecoder : public TDecoder {
public:
    // Pixels of 1, 2, 3 or 4 bytes.
    explicit TTargaRLEDecoder(unsigned pixel_bytes);
    void decode_init() override { pending_ = 0; }
    // Whole pixels only: a target tail shorter than one pixel stays untouched.
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;

private:
    unsigned pixel_bytes_;
    unsigned pending_ = 0;  // pixels left of the current packet
    bool repeat_ = false;
    uint8_t pixel_[4] = {};
};

}  // namespace quorvel::readers
