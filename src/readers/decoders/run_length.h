// The byte-oriented run-length schemes of the readers that need no state between blocks. Each
// scheme is a tag; its decoder's decode is defined in the scheme's own .cpp.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

template <typename Scheme>
class TRunLengthDecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
};

// Dr. Halo CUT run-length coding of one row: a 2-byte row length (skipped), then control
// bytes c; 0 ends the row, top bit set repeats the next byte (c and 127) times, clear copies
// c literal bytes. A row that codes more than the target holds is cut, but read to its end so
// that the next row starts in the right place.
struct CutRunLength;
using TCUTRLEDecoder = TRunLengthDecoder<CutRunLength>;

// Paint Shop Pro run-length coding of a channel: a byte c; above 127 repeats the next byte
// c - 128 times, otherwise c literal bytes follow.
struct PspRunLength;
using TPSPRLEDecoder = TRunLengthDecoder<PspRunLength>;

// Alias/Wavefront RLA run-length coding of one channel of a scan line: a signed byte n;
// negative copies -n literal bytes, otherwise the next byte is repeated n + 1 times.
struct RlaRunLength;
using TRLADecoder = TRunLengthDecoder<RlaRunLength>;

template <>
DecodeResult TCUTRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target);
template <>
DecodeResult TPSPRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target);
template <>
DecodeResult TRLADecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target);

}  // namespace quorvel::readers
