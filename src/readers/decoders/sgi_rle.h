// SGI run-length coding of one row as a row decoder: what the row codes past the target is
// dropped, and a row cut short leaves the target's tail as it was.
#pragma once

#include "formats/run_length.h"
#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TSGIRLEDecoder : public TDecoder {
public:
    // Samples of 1 or 2 bytes.
    explicit TSGIRLEDecoder(unsigned sample_bytes) : sample_bytes_(sample_bytes == 2 ? 2 : 1) {}
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override {
        const formats::RunResult r = formats::decode_sgi_rle(source, target, sample_bytes_);
        return {r.consumed, r.produced};
    }

private:
    unsigned sample_bytes_;
};

}  // namespace quorvel::readers
