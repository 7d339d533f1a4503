#include <algorithm>
#include <cstring>

#include "formats/run_length.h"

namespace quorvel::formats {
namespace {

size_t pixel_size(unsigned pixel_bytes) { return std::clamp(pixel_bytes, 1u, 4u); }

// Completes run.pixel from the input; false when the input ends first.
template <size_t N>
bool gather(std::span<const uint8_t> in, size_t& at, TargaRun& run) {
    if (run.have == 0 && in.size() - at >= N) {  // the common case: a whole pixel at hand
        std::memcpy(run.pixel, in.data() + at, N);
        at += N;
        run.have = N;
        return true;
    }
    const size_t n = N;
    const size_t count = std::min(n - run.have, in.size() - at);
    if (count > 0) std::memcpy(run.pixel + run.have, in.data() + at, count);
    at += count;
    run.have += static_cast<unsigned>(count);
    return run.have == n;
}

// `count` copies of an N-byte pixel. Short runs, most of a photograph's, are stored pixel by
// pixel; long ones double what is written with each copy.
template <size_t N>
void repeat_pixel(uint8_t* out, const uint8_t* pixel, size_t count) {
    if (N == 1) {
        std::memset(out, pixel[0], count);
        return;
    }
    constexpr size_t kShort = 32;
    const size_t direct = std::min(count, kShort);
    for (size_t i = 0; i < direct; ++i) std::memcpy(out + i * N, pixel, N);
    const size_t total = N * count;
    for (size_t done = N * direct; done < total;) {
        const size_t more = std::min(done, total - done);
        std::memcpy(out + done, out, more);
        done += more;
    }
}

// The decoder for one pixel size, so that every pixel copy is of a known length.
template <size_t N>
RunResult decode_pixels(std::span<const uint8_t> in, std::span<uint8_t> out, TargaRun& run) {
    size_t at = 0, filled = 0;
    while (out.size() - filled >= N) {
        if (run.pending == 0) {
            if (at >= in.size()) return {RunStatus::short_input, at, filled};
            const uint8_t c = in[at++];
            run = TargaRun{(c & 0x7Fu) + 1u, (c & 0x80) != 0};
        }
        const size_t room = (out.size() - filled) / N;
        size_t count = 1;
        if (run.repeat) {
            if (!gather<N>(in, at, run)) return {RunStatus::short_input, at, filled};
            count = std::min<size_t>(run.pending, room);
            repeat_pixel<N>(out.data() + filled, run.pixel, count);
        } else if (run.have > 0 || in.size() - at < N) {  // a pixel split between pieces
            if (!gather<N>(in, at, run)) return {RunStatus::short_input, at, filled};
            std::memcpy(out.data() + filled, run.pixel, N);
            run.have = 0;
        } else {
            count = std::min({size_t{run.pending}, room, (in.size() - at) / N});
            std::memcpy(out.data() + filled, in.data() + at, count * N);
            at += count * N;
        }
        filled += count * N;
        run.pending -= static_cast<unsigned>(count);
    }
    return {RunStatus::ok, at, filled};
}

}  // namespace

RunResult decode_targa_rle(std::span<const uint8_t> in, std::span<uint8_t> out,
                           unsigned pixel_bytes, TargaRun& run) {
    switch (pixel_size(pixel_bytes)) {
        case 1:
            return decode_pixels<1>(in, out, run);
        case 2:
            return decode_pixels<2>(in, out, run);
        case 3:
            return decode_pixels<3>(in, out, run);
        default:
            return decode_pixels<4>(in, out, run);
    }
}

size_t targa_bytes_owed(const TargaRun& run, unsigned pixel_bytes) {
    const size_t n = pixel_size(pixel_bytes);
    if (run.repeat) return run.pending > 0 ? n - run.have : 0;
    return run.pending * n - run.have;
}

}  // namespace quorvel::formats
