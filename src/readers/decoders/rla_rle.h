// Alias/Wavefront RLA run-length coding of one channel of a scan line: a signed byte n;
// negative copies -n literal bytes, otherwise the next byte is repeated n + 1 times.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TRLADecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
};

}  // namespace quorvel::readers
