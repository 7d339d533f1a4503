#include "readers/decoders/run_length.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

template <>
DecodeResult TCUTRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    size_t in = std::min<size_t>(2, source.size()), out = 0;
    while (in < source.size()) {
        const uint8_t c = source[in++];
        if (c == 0) break;
        const size_t count = c & 0x7Fu, room = target.size() - out;
        if (c & 0x80) {
            if (in >= source.size()) break;
            std::memset(target.data() + out, source[in++], std::min(count, room));
            out += std::min(count, room);
        } else {
            const size_t available = std::min(count, source.size() - in);
            std::memcpy(target.data() + out, source.data() + in, std::min(available, room));
            out += std::min(available, room);
            in += available;
        }
    }
    return {in, out};
}

}  // namespace quorvel::readers
