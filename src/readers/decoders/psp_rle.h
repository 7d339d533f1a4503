// Paint Shop Pro run-length coding of a channel: a byte c; above 127 repeats the next byte
// c - 128 times, otherwise c literal bytes follow.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TPSPRLEDecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
};

}  // namespace quorvel::readers
