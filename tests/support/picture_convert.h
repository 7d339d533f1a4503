// Conversions the codec tests share when they compare our records with what other tools
// decode: any picture brought to RGB or RGBA, and a palette index read out of a record row.
#pragma once

#include <cstdint>

#include "raster/bmg_image.h"
#include "support/test_support.h"

namespace quorvel::testing {

// The same pixels in RGB (gray spread over three channels, alpha dropped), or in RGBA when
// `alpha` (255 where the source has no alpha).
Picture normalised(const Picture& in, bool alpha = false);

// The palette index of pixel x in a row of a 1-, 2-, 4- or 8-bit record.
unsigned record_index(const raster::BMGImage& img, const uint8_t* row, uint32_t x);

}  // namespace quorvel::testing
