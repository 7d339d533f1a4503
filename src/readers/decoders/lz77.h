// Deflate (TIFF compression 8 and 32946): libdeflate for sound blocks, zlib for the rest, one
// fresh stream per block.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

inline constexpr const char* gesLZ77Error = "LZ77 decompression error.";

// Inflates each block from a reset state. A failure to start or end the stream raises
// EGraphicCompression "LZ77 decompression error."; damaged data inside a block ends it
// quietly with what was inflated so far, the rest of the target cleared.
class TLZ77Decoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
};

}  // namespace quorvel::readers
