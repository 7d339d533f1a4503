#include "readers/decoders/run_length.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

template <>
DecodeResult TRLADecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    size_t in = 0, out = 0;
    while (in < source.size() && out < target.size()) {
        const auto n = static_cast<int8_t>(source[in++]);
        if (n < 0) {
            const size_t count = std::min({size_t(-n), target.size() - out, source.size() - in});
            std::memcpy(target.data() + out, source.data() + in, count);
            out += count;
            in += std::min(size_t(-n), source.size() - in);
        } else if (in < source.size()) {
            const size_t count = std::min(size_t(n) + 1, target.size() - out);
            std::memset(target.data() + out, source[in++], count);
            out += count;
        }
    }
    return {in, out};
}

}  // namespace quorvel::readers
