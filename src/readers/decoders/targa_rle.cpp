#include "readers/decoders/targa_rle.h"

#include <algorithm>
#include <cstring>

namespace quorvel::readers {

TTargaRLEDecoder::TTargaRLEDecoder(unsigned pixel_bytes)
    : pixel_bytes_(std::clamp(pixel_bytes, 1u, 4u)) {}

DecodeResult TTargaRLEDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    const size_t n = pixel_bytes_;
    size_t in = 0, out = 0;
    while (out + n <= target.size()) {
        if (pending_ == 0) {
            if (in >= source.size()) break;
            const uint8_t c = source[in++];
            repeat_ = (c & 0x80) != 0;
            if (repeat_) {
                if (source.size() - in < n) break;
                std::memcpy(pixel_, source.data() + in, n);
                in += n;
            }
            pending_ = (c & 0x7F) + 1u;
        }
        if (!repeat_) {
            if (source.size() - in < n) break;
            std::memcpy(pixel_, source.data() + in, n);
            in += n;
        }
        std::memcpy(target.data() + out, pixel_, n);
        out += n;
        --pending_;
    }
    return {in, out};
}

}  // namespace quorvel::readers
