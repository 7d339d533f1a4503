// SGI run-length coding of one row: control units (a byte, or a big-endian word for 16-bit
// samples) c; count = c and 127; 0 ends the row; top bit set copies count literal samples,
// clear repeats the next sample count times. Samples keep the file's byte order.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TSGIRLEDecoder : public TDecoder {
public:
    // Samples of 1 or 2 bytes.
    explicit TSGIRLEDecoder(unsigned sample_bytes) : sample_bytes_(sample_bytes == 2 ? 2 : 1) {}
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;

private:
    unsigned sample_bytes_;
};

}  // namespace quorvel::readers
