#include "readers/decoders/pcx_rle.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

DecodeResult TPCXRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    size_t in = 0, out = 0;
    while (out < target.size()) {
        if (pending_ == 0) {
            if (in >= source.size()) break;
            const uint8_t b = source[in++];
            if (b < 192) {
                target[out++] = b;
                continue;
            }
            if (in >= source.size()) break;
            pending_ = b & 63u;
            value_ = source[in++];
        }
        const size_t count = std::min(pending_, target.size() - out);
        std::memset(target.data() + out, value_, count);
        out += count;
        pending_ -= count;
    }
    return {in, out};
}

}  // namespace quorvel::readers
