#include "readers/decoders/sgi_rle.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

DecodeResult TSGIRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    const size_t n = sample_bytes_;
    size_t in = 0, out = 0;
    while (source.size() - in >= n) {
        const unsigned c = n == 2 ? source[in] << 8 | source[in + 1] : source[in];
        in += n;
        const size_t count = c & 0x7F;
        if (count == 0) break;
        // Overshooting runs are cut to the row; literals also to what the source holds.
        const size_t room = (target.size() - out) / n;
        if (c & 0x80) {
            const size_t available = (source.size() - in) / n;
            const size_t copied = std::min({count, room, available});
            std::memcpy(target.data() + out, source.data() + in, copied * n);
            out += copied * n;
            in += std::min(count, available) * n;
        } else {
            if (source.size() - in < n) break;
            for (size_t i = 0; i < std::min(count, room); ++i, out += n)
                std::memcpy(target.data() + out, source.data() + in, n);
            in += n;
        }
    }
    return {in, out};
}

}  // namespace quorvel::readers
