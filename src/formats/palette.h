// Gray ramps and palette-entry access: the one definition the extended readers' colour manager
// and the container codecs share. Header-only and free of both sides' types, so that either
// can use it: a palette is a block of entries of some byte size, blue, green, red first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace quorvel::formats {

// Level i of an n-entry gray ramp, i * (255 / (n - 1)) (exact for 2, 4, 16 and 256 entries),
// or 255 minus that when the ramp descends from white. A one-entry ramp is black.
constexpr uint8_t gray_ramp_level(size_t i, size_t n, bool descending = false) {
    const size_t step = n > 1 ? 255 / (n - 1) : 0;
    const size_t level = i * step;
    return static_cast<uint8_t>(descending ? 255 - level : level);
}

// A 5-5-5 pixel or colour-map word (little-endian, blue in the low bits) as blue, green and
// red bytes: each 5-bit level times 8, so that full intensity is 248.
inline void bgr_from_555(const uint8_t* word, uint8_t* bgr) {
    const unsigned v = word[0] | word[1] << 8;
    bgr[0] = static_cast<uint8_t>((v & 31) * 8);
    bgr[1] = static_cast<uint8_t>(((v >> 5) & 31) * 8);
    bgr[2] = static_cast<uint8_t>(((v >> 10) & 31) * 8);
}

// TIFF colour maps hold 16-bit values; some writers put 8-bit values there, which shows as no
// value reaching 256 (libtiff's RGBA reading takes such a map as 8-bit too).
template <class Values>
bool colour_map_is_8bit(const Values& values) {
    return std::all_of(std::begin(values), std::end(values), [](auto v) { return v < 256; });
}

// A palette block: `entries` entries of `entry_bytes` (3 or more) bytes each.
template <typename Byte>
struct BasicPaletteView {
    Byte* data;
    size_t entries;
    size_t entry_bytes;

    bool usable() const { return data != nullptr && entries > 0 && entry_bytes >= 3; }
    // Entry i (blue, green, red...), or null past the palette.
    Byte* entry(size_t i) const {
        return usable() && i < entries ? data + i * entry_bytes : nullptr;
    }
    bool gray_at(size_t i) const {
        const Byte* e = entry(i);
        return e != nullptr && e[0] == e[1] && e[1] == e[2];
    }
};
using PaletteView = BasicPaletteView<uint8_t>;
using ConstPaletteView = BasicPaletteView<const uint8_t>;

// Stores a colour at entry i; indexes past the palette are dropped.
inline void set_entry(PaletteView palette, size_t i, uint8_t red, uint8_t green, uint8_t blue) {
    uint8_t* e = palette.entry(i);
    if (e == nullptr) return;
    e[0] = blue;
    e[1] = green;
    e[2] = red;
}

// Every entry gets its level of the ramp as long as the palette.
inline void fill_gray_ramp(PaletteView palette, bool descending = false) {
    for (size_t i = 0; i < palette.entries; ++i) {
        const uint8_t level = gray_ramp_level(i, palette.entries, descending);
        set_entry(palette, i, level, level, level);
    }
}

// Every entry has blue = green = red; false for a palette that is not usable.
inline bool all_gray(ConstPaletteView palette) {
    if (!palette.usable()) return false;
    for (size_t i = 0; i < palette.entries; ++i)
        if (!palette.gray_at(i)) return false;
    return true;
}

// Entry i is level i of the `levels`-entry ramp for every entry (no more entries than levels):
// only then do indexes mean gray levels. False for a palette that is not usable.
inline bool is_gray_ramp(ConstPaletteView palette, size_t levels, bool descending = false) {
    if (!palette.usable() || palette.entries > levels) return false;
    for (size_t i = 0; i < palette.entries; ++i) {
        const uint8_t level = gray_ramp_level(i, levels, descending);
        const uint8_t* e = palette.entry(i);
        if (e[0] != level || e[1] != level || e[2] != level) return false;
    }
    return true;
}

}  // namespace quorvel::formats
