// Truevision run-length coding as a row decoder. A packet may run across rows, so the decoder
// keeps what is left of it between calls.
#pragma once

#include <algorithm>

#include "formats/run_length.h"
#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TTargaRLEDecoder : public TDecoder {
public:
    // Pixels of 1, 2, 3 or 4 bytes.
    explicit TTargaRLEDecoder(unsigned pixel_bytes)
        : pixel_bytes_(std::clamp(pixel_bytes, 1u, 4u)) {}
    void decode_init() override { run_ = {}; }
    // Whole pixels only: a target tail shorter than one pixel stays untouched.
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override {
        const formats::RunResult r = formats::decode_targa_rle(source, target, pixel_bytes_, run_);
        return {r.consumed, r.produced};
    }

private:
    unsigned pixel_bytes_;
    formats::TargaRun run_;
};

}  // namespace quorvel::readers
