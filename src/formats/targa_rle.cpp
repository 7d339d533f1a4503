#include <algorithm>
#include <cstring>

#include "formats/run_length.h"

namespace quorvel::formats {
namespace {

size_t pixel_size(unsigned pixel_bytes) { return std::clamp(pixel_bytes, 1u, 4u); }

// Completes run.pixel from the input; false when the input ends first.
bool gather(std::span<const uint8_t> in, size_t& at, size_t n, TargaRun& run) {
    const size_t count = std::min(n - run.have, in.size() - at);
    if (count > 0) std::memcpy(run.pixel + run.have, in.data() + at, count);
    at += count;
    run.have += static_cast<unsigned>(count);
    return run.have == n;
}

// `count` copies of an n-byte pixel, each store doubling what is written.
void repeat_pixel(uint8_t* out, const uint8_t* pixel, size_t n, size_t count) {
    if (n == 1) {
        std::memset(out, pixel[0], count);
        return;
    }
    const size_t total = n * count;
    std::memcpy(out, pixel, n);
    for (size_t done = n; done < total;) {
        const size_t more = std::min(done, total - done);
        std::memcpy(out + done, out, more);
        done += more;
    }
}

}  // namespace

RunResult decode_targa_rle(std::span<const uint8_t> in, std::span<uint8_t> out,
                           unsigned pixel_bytes, TargaRun& run) {
    const size_t n = pixel_size(pixel_bytes);
    size_t at = 0, filled = 0;
    while (out.size() - filled >= n) {
        if (run.pending == 0) {
            if (at >= in.size()) return {RunStatus::short_input, at, filled};
            const uint8_t c = in[at++];
            run = TargaRun{(c & 0x7Fu) + 1u, (c & 0x80) != 0};
        }
        const size_t room = (out.size() - filled) / n;
        size_t count = 1;
        if (run.repeat) {
            if (!gather(in, at, n, run)) return {RunStatus::short_input, at, filled};
            count = std::min<size_t>(run.pending, room);
            repeat_pixel(out.data() + filled, run.pixel, n, count);
        } else if (run.have > 0 || in.size() - at < n) {  // a pixel split between pieces
            if (!gather(in, at, n, run)) return {RunStatus::short_input, at, filled};
            std::memcpy(out.data() + filled, run.pixel, n);
            run.have = 0;
        } else {
            count = std::min({size_t{run.pending}, room, (in.size() - at) / n});
            std::memcpy(out.data() + filled, in.data() + at, count * n);
            at += count * n;
        }
        filled += count * n;
        run.pending -= static_cast<unsigned>(count);
    }
    return {RunStatus::ok, at, filled};
}

size_t targa_bytes_owed(const TargaRun& run, unsigned pixel_bytes) {
    const size_t n = pixel_size(pixel_bytes);
    if (run.repeat) return run.pending > 0 ? n - run.have : 0;
    return run.pending * n - run.have;
}

}  // namespace quorvel::formats
