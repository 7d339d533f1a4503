#include "readers/decoders/run_length.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

template <>
DecodeResult TPSPRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    size_t in = 0, out = 0;
    while (in < source.size() && out < target.size()) {
        const uint8_t c = source[in++];
        const size_t room = target.size() - out;
        if (c > 127) {
            if (in >= source.size()) break;
            const size_t count = std::min<size_t>(c - 128u, room);
            std::memset(target.data() + out, source[in++], count);
            out += count;
        } else {
            const size_t available = std::min<size_t>(c, source.size() - in);
            std::memcpy(target.data() + out, source.data() + in, std::min(available, room));
            out += std::min(available, room);
            in += available;
        }
    }
    return {in, out};
}

}  // namespace quorvel::readers
