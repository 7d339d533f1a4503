// Dr. Halo CUT run-length coding of one row: a 2-byte row length (skipped), then control
// bytes c; 0 ends the row, top bit set repeats the next byte (c and 127) times, clear copies
// c literal bytes. A row that codes more than the target holds is cut, but read to its end so
// that the next row starts in the right place.
#pragma once

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

class TCUTRLEDecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
};

}  // namespace quorvel::readers
