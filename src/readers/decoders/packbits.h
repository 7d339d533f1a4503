// The PackBits run-length decoder (TIFF, Photoshop) as a strip decoder: the format layer's
// decoder, whose cuts at either end are not errors here.
#pragma once

#include "formats/run_length.h"
#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TPackbitsRLEDecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override {
        const formats::RunResult r = formats::decode_packbits(source, target);
        return {r.consumed, r.produced};
    }
};

}  // namespace quorvel::readers
