// A BMGImage that the tests own: starts in the empty state, is released at scope end.
#pragma once

#include <cstdint>

#include "raster/bmg_image.h"

namespace quorvel::testing {

struct ImageRecord {
    // Empty, with the chosen row layout (1: rows padded as in a DIB).
    explicit ImageRecord(int32_t dib = 1);
    // Allocated by the container: `w` x `h` at `bits`, with `palette` entries.
    ImageRecord(uint32_t w, uint32_t h, uint8_t bits, int32_t dib, uint16_t palette = 0);
    ~ImageRecord();
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;
    raster::BMGImage* operator->() { return &img; }
    raster::BMGImage img{};
};

}  // namespace quorvel::testing
