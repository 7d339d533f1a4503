// ZSoft PCX run-length coding: a byte below 192 is a literal, a byte of 192 or more repeats
// the next byte (byte and 63) times. Writers let runs cross scan lines, so the decoder keeps
// what is left of a run between calls.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TPCXRLEDecoder : public TDecoder {
public:
    void decode_init() override { pending_ = 0; }
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;

private:
    size_t pending_ = 0;  // repeats left of the current run
    uint8_t value_ = 0;
};

}  // namespace quorvel::readers
