// Row helper of the PNG reader, exposed for its tests.
#pragma once

#include <cstdint>

namespace quorvel::raster {

// Widens one byte of four 2-bit values p0 (bits 7-6) .. p3 into the bytes p0 * 16 + p1 and
// p2 * 16 + p3, of which the first `count` (1 or 2) are stored.
void ExpandRows2To4(uint8_t* destination, uint8_t source, int count);

}  // namespace quorvel::raster
