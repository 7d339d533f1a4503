// A walk over a GIF file's blocks before giflib reads it: giflib sizes each image's pixel
// buffer from its descriptor alone, so descriptors the file's compressed data cannot fill, or
// over the load limits, are refused first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel::formats {

// True when every image descriptor in the bytes claims no more pixels than its LZW data can
// give (a code of 3 bits or more yields at most 4096 pixels) and the load limits allow.
bool gif_sizes_plausible(const std::vector<uint8_t>& file);

// A little-endian 16-bit field at `at` (the caller checks the bounds).
uint32_t gif_le16(const std::vector<uint8_t>& f, size_t at);
// Bytes of a colour table that a flags byte announces.
size_t gif_colour_table_bytes(uint8_t flags);

}  // namespace quorvel::formats
