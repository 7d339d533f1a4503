// A deterministic generator of fingerprint-like gray images: curved ridges and valleys whose
// frequency and orientation drift across the print, an elliptical finger on a smooth light
// background, and some sensor noise. The same size and seed always give the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::testing {

// width x height 8-bit gray pixels, top row first, no padding between rows.
std::vector<uint8_t> ridge_pattern(int width, int height, uint32_t seed);

// Gray pixels with their size, laid out as above.
struct GrayImage {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
};

inline GrayImage ridge_image(int width, int height, uint32_t seed) {
    return {width, height, ridge_pattern(width, height, seed)};
}

}  // namespace quorvel::testing
