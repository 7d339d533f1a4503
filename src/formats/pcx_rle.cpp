#include <algorithm>
#include <cstring>

#include "formats/run_length.h"

namespace quorvel::formats {

RunResult decode_pcx_rle(std::span<const uint8_t> in, std::span<uint8_t> out, PcxRun& run) {
    size_t at = 0, filled = 0;
    while (filled < out.size()) {
        if (run.pending == 0) {
            if (at >= in.size()) return {RunStatus::short_input, at, filled};
            const uint8_t b = in[at++];
            if (b < 192) {
                out[filled++] = b;
                continue;
            }
            if (at >= in.size()) return {RunStatus::short_input, at, filled};
            run.pending = b & 63u;
            run.value = in[at++];
        }
        const size_t count = std::min(run.pending, out.size() - filled);
        std::memset(out.data() + filled, run.value, count);
        filled += count;
        run.pending -= count;
    }
    return {RunStatus::ok, at, filled};
}

}  // namespace quorvel::formats
