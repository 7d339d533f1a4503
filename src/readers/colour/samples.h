// Sample access shared by the colour converters: values packed at any depth from 1 to 16 bits
// (most significant first, 16-bit words in either byte order), their reduction to 8 bits, and
// packed stores into bitmap rows. Every access touches only the bytes the value occupies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/byte_cursor.h"

namespace quorvel::readers::colour {

// `count` bits from bit `position` of `data`, most significant bit first.
inline unsigned read_bits(const uint8_t* data, size_t position, unsigned count) {
    unsigned value = 0;
    size_t byte = position / 8;
    unsigned offset = position % 8;
    while (count > 0) {
        const unsigned available = 8 - offset;
        const unsigned take = count < available ? count : available;
        value = (value << take) | ((data[byte] >> (available - take)) & ((1u << take) - 1));
        count -= take;
        offset = 0;
        ++byte;
    }
    return value;
}

// Sample `index` (counted in samples) at `bits` bits; 16-bit samples are words, big-endian
// when `big_endian`, else in the host's (little-endian) order.
inline unsigned read_raw(const uint8_t* data, size_t index, unsigned bits, bool big_endian) {
    if (bits == 8) return data[index];
    if (bits == 16) return formats::u16(data + 2 * index, big_endian);
    return read_bits(data, index * bits, bits);
}

// A raw value scaled to 8 bits: deeper samples keep their top 8 bits, shallower ones spread
// over 0..255 (so a 1-bit 1 is 255).
inline uint8_t to8(unsigned value, unsigned bits) {
    if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
    return static_cast<uint8_t>(value * 255 / ((1u << bits) - 1));
}

// A value of `from` bits scaled to `to` bits (both 1 to 8), end points kept.
inline unsigned rescale(unsigned value, unsigned from, unsigned to) {
    if (from == to) return value;
    return (value * ((1u << to) - 1) + ((1u << from) - 1) / 2) / ((1u << from) - 1);
}

// Stores a `bits`-bit value (1, 2, 4 or 8) as pixel `index` of a packed row.
inline void store_packed(uint8_t* row, size_t index, unsigned bits, unsigned value) {
    if (bits == 8) {
        row[index] = static_cast<uint8_t>(value);
        return;
    }
    const size_t bit = index * bits;
    const unsigned shift = 8 - bits - bit % 8;
    const unsigned field = ((1u << bits) - 1) << shift;
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~field) | ((value << shift) & field));
}

inline uint8_t clamp8(int value) {
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Interlaced rows: bit 7 of the mask is the first pixel of every group of 8.
inline bool pixel_selected(uint8_t mask, unsigned x) { return (mask & (0x80 >> (x % 8))) != 0; }

}  // namespace quorvel::readers::colour
