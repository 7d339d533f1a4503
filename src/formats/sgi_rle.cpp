#include <algorithm>
#include <cstring>

#include "formats/run_length.h"

namespace quorvel::formats {

RunResult decode_sgi_rle(std::span<const uint8_t> in, std::span<uint8_t> out,
                         unsigned sample_bytes) {
    const size_t n = sample_bytes == 2 ? 2 : 1;
    RunResult r;
    auto cut = [&r](RunStatus status) {
        if (r.status == RunStatus::ok) r.status = status;
    };
    while (in.size() - r.consumed >= n) {
        // A word's high byte carries nothing: count and kind are in its low byte.
        const uint8_t control = in[r.consumed + n - 1];
        const size_t count = control & 0x7Fu;
        const bool literal = control & 0x80;
        r.consumed += n;
        if (count == 0) break;
        const size_t room = (out.size() - r.produced) / n;
        if (literal) {
            const size_t available = (in.size() - r.consumed) / n;
            const size_t copied = std::min({count, room, available});
            if (copied > 0)
                std::memcpy(out.data() + r.produced, in.data() + r.consumed, copied * n);
            r.produced += copied * n;
            r.consumed += std::min(count, available) * n;
            if (count > available) return {RunStatus::short_input, r.consumed, r.produced};
            if (count > room) cut(RunStatus::cut_literal);
        } else {
            if (in.size() - r.consumed < n) return {RunStatus::short_input, r.consumed, r.produced};
            for (size_t i = 0; i < std::min(count, room); ++i, r.produced += n)
                std::memcpy(out.data() + r.produced, in.data() + r.consumed, n);
            r.consumed += n;
            if (count > room) cut(RunStatus::cut_repeat);
        }
    }
    return r;
}

}  // namespace quorvel::formats
