#include <algorithm>
#include <cstring>

#include "formats/run_length.h"

namespace quorvel::formats {

RunResult decode_packbits(std::span<const uint8_t> in, std::span<uint8_t> out) {
    size_t at = 0, filled = 0;
    while (filled < out.size()) {
        if (at >= in.size()) return {RunStatus::short_input, at, filled};
        const auto n = static_cast<int8_t>(in[at++]);
        if (n == -128) continue;
        const size_t room = out.size() - filled;
        if (n >= 0) {
            const size_t run = size_t(n) + 1, present = std::min(run, in.size() - at);
            const size_t count = std::min(present, room);
            std::memcpy(out.data() + filled, in.data() + at, count);
            at += present;
            filled += count;
            if (present < run) return {RunStatus::short_input, at, filled};
            if (run > room) return {RunStatus::cut_literal, at, filled};
        } else {
            if (at >= in.size()) return {RunStatus::short_input, at, filled};
            const size_t run = size_t(1 - n), count = std::min(run, room);
            std::memset(out.data() + filled, in[at++], count);
            filled += count;
            if (run > room) return {RunStatus::cut_repeat, at, filled};
        }
    }
    return {RunStatus::ok, at, filled};
}

}  // namespace quorvel::formats
