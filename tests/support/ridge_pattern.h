// A deterministic generator of fingerprint-like gray images: curved ridges and valleys whose
// frequency and orientation drift across the print, an elliptical finger on a smooth light
// background, and some sensor noise. The same size and seed always give the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::testing {

// width x height 8-bit gray pixels, top row first, no padding between rows.
std::vector<uint8_t> ridge_pattern(int width, int height, uint32_t seed);

}  // namespace quorvel::testing
