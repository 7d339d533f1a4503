#include "readers/decoders/thunder.h"

namespace quorvel::readers {
namespace {

enum Code : unsigned { kRun = 0, kDelta2 = 1, kDelta3 = 2, kRaw = 3 };
constexpr int kSkip = 99;
constexpr int kDelta2Values[4] = {0, 1, kSkip, -1};
constexpr int kDelta3Values[8] = {0, 1, 2, 3, kSkip, -3, -2, -1};

// One output row of 4-bit samples, high nibble first, that ignores samples past its width.
struct NibbleRow {
    uint8_t* row;
    uint32_t width;
    uint32_t count = 0;
    void put(unsigned value) {
        if (count >= width) return;
        uint8_t& byte = row[count / 2];
        byte = count % 2 ? static_cast<uint8_t>((byte & 0xF0) | value)
                         : static_cast<uint8_t>(value << 4);
        ++count;
    }
};

}  // namespace

DecodeResult TThunderDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    const size_t row_bytes = (size_t{width_} + 1) / 2;
    size_t in = 0, out = 0;
    while (row_bytes != 0 && out + row_bytes <= target.size() && in < source.size()) {
        NibbleRow row{target.data() + out, width_};
        unsigned last = 0;
        while (row.count < width_ && in < source.size()) {
            const uint8_t byte = source[in++];
            switch (byte >> 6) {
                case kRun:
                    for (unsigned n = byte & 0x3F; n > 0; --n) row.put(last);
                    break;
                case kDelta2:
                    for (int shift = 4; shift >= 0; shift -= 2) {
                        const int delta = kDelta2Values[(byte >> shift) & 3];
                        if (delta != kSkip) row.put(last = (last + delta) & 0xF);
                    }
                    break;
                case kDelta3:
                    for (int shift = 3; shift >= 0; shift -= 3) {
                        const int delta = kDelta3Values[(byte >> shift) & 7];
                        if (delta != kSkip) row.put(last = (last + delta) & 0xF);
                    }
                    break;
                default:
                    row.put(last = byte & 0xF);
            }
        }
        out += row_bytes;
    }
    return {in, out};
}

}  // namespace quorvel::readers
