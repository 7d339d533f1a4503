// The decoders' shared interface: one call per compressed block (a strip, a row, a channel)
// from a bounded source into a bounded target. A decoder never reads or writes past either
// end; what it consumed and produced comes back so the caller knows where it stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvel::readers {

struct DecodeResult {
    size_t consumed = 0;  // source bytes used
    size_t produced = 0;  // target bytes written
};

class TDecoder {
public:
    virtual ~TDecoder() = default;
    // Once before the first block of an image.
    virtual void decode_init() {}
    // Decodes until the target is full or the source is used up. Throws EGraphicCompression
    // for data the scheme cannot decode.
    virtual DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) = 0;
    // Once after the last block of an image.
    virtual void decode_end() {}
};

}  // namespace quorvel::readers

// The PackBits decoder was declared here first; its own header keeps old includes working.
#include "readers/decoders/packbits.h"
