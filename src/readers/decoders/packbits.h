// The PackBits run-length decoder (TIFF, Photoshop).
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

// PackBits (TIFF, Photoshop): a signed byte n; 0..127 copies n + 1 literal bytes, -1..-127
// repeats the next byte 1 - n times, -128 is skipped. Counts are cut to the target left
// (a cut literal run is still consumed whole), copies also to the source left.
class TPackbitsRLEDecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
};

}  // namespace quorvel::readers
