// ThunderScan 4-bit coding (TIFF compression 32809): each byte a code in its top two bits,
// runs, 2- and 3-bit deltas and literal values; output packed two samples a byte.
#pragma once

#include <cstdint>

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

// Rows of `width` samples; each row starts on a new output byte and its last value restarts
// at 0, so a damaged row cannot colour the ones after it.
class TThunderDecoder : public TDecoder {
public:
    explicit TThunderDecoder(uint32_t width) : width_(width) {}
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;

private:
    uint32_t width_;
};

}  // namespace quorvel::readers
