// PackBits run-length decoding (TIFF compression 32773, Photoshop channels).
#include "readers/decoders/packbits.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

DecodeResult TPackbitsRLEDecoder::decode(std::span<const uint8_t> source,
                                         std::span<uint8_t> target) {
    size_t in = 0, out = 0;
    while (in < source.size() && out < target.size()) {
        const auto n = static_cast<int8_t>(source[in++]);
        if (n == -128) continue;
        if (n >= 0) {
            // A literal run that overshoots the target is cut, but consumed whole, so that the
            // next block starts at the next control byte.
            const size_t run = std::min(size_t(n) + 1, source.size() - in);
            const size_t count = std::min(run, target.size() - out);
            std::memcpy(target.data() + out, source.data() + in, count);
            in += run;
            out += count;
        } else if (in < source.size()) {
            const size_t count = std::min(size_t(1 - n), target.size() - out);
            std::memset(target.data() + out, source[in++], count);
            out += count;
        }
    }
    return {in, out};
}

}  // namespace quorvel::readers
