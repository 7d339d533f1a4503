// ZSoft PCX run-length coding as a row decoder. Writers let runs cross scan lines, so the
// decoder keeps what is left of a run between calls.
#pragma once

#include "formats/run_length.h"
#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TPCXRLEDecoder : public TDecoder {
public:
    void decode_init() override { run_ = {}; }
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override {
        const formats::RunResult r = formats::decode_pcx_rle(source, target, run_);
        return {r.consumed, r.produced};
    }

private:
    formats::PcxRun run_;
};

}  // namespace quorvel::readers
