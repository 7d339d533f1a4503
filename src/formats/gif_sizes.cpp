#include "formats/gif_sizes.h"

#include <algorithm>

#include "platform/limits.h"

namespace quorvel::formats {

uint32_t gif_le16(const std::vector<uint8_t>& f, size_t at) {
    return f[at] | (uint32_t{f[at + 1]} << 8);
}

size_t gif_colour_table_bytes(uint8_t flags) {
    return (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0;
}

namespace {

constexpr uint64_t kPixelsPerDataByte = 4096 * 8 / 3 + 1;

// Skips a chain of sub-blocks from `at`; returns where it ends and adds their data bytes.
size_t skip_sub_blocks(const std::vector<uint8_t>& f, size_t at, uint64_t& data) {
    while (at < f.size() && f[at] != 0) {
        data += f[at];
        at += size_t{f[at]} + 1;
    }
    return at + 1;
}

// A logical screen may be larger than its images (the rest shows the background), but not
// without bound: up to 2048 x 2048 pixels, or 64 times the largest image.
constexpr uint64_t kFreeScreenPixels = uint64_t{1} << 22;
constexpr uint64_t kScreenPerImagePixels = 64;

// One image: descriptor, local table, code size, data. False when its claim is implausible.
bool image_plausible(const std::vector<uint8_t>& f, size_t& at, uint64_t& largest) {
    if (at + 10 > f.size()) {  // cut short: giflib reports it
        at = f.size();
        return true;
    }
    const uint64_t pixels = uint64_t{gif_le16(f, at + 5)} * gif_le16(f, at + 7);
    largest = std::max(largest, pixels);
    at += 10 + gif_colour_table_bytes(f[at + 9]) + 1;  // descriptor, table, LZW code size
    uint64_t data = 0;
    at = skip_sub_blocks(f, at, data);
    // One sub-block of slack lets a cut file reach giflib, which reports it as damaged.
    return pixels <= (data + 256) * kPixelsPerDataByte &&
           platform::within_load_limits(pixels, 1, pixels);
}

}  // namespace

bool gif_sizes_plausible(const std::vector<uint8_t>& f) {
    if (f.size() < 13) return true;
    size_t at = 13 + gif_colour_table_bytes(f[10]);
    uint64_t largest = 0;
    while (at < f.size()) {
        const uint8_t block = f[at];
        if (block == 0x2C) {
            if (!image_plausible(f, at, largest)) return false;
        } else if (block == 0x21 && at + 1 < f.size()) {
            uint64_t ignored = 0;
            at = skip_sub_blocks(f, at + 2, ignored);
        } else {
            break;  // the trailer, or bytes giflib will refuse
        }
    }
    const uint64_t screen = uint64_t{gif_le16(f, 6)} * gif_le16(f, 8);
    return screen <= std::max(kFreeScreenPixels, kScreenPerImagePixels * largest);
}

}  // namespace quorvel::formats
