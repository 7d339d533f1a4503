// What the GIF reader takes from a file, whichever decoder produced it: the logical screen,
// the colours of the first image, its transparent index and its raster.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quorvel::raster {

struct GifFirstImage {
    int screen_width = 0, screen_height = 0, background = 0;
    std::vector<std::array<uint8_t, 3>> colours;  // red, green, blue; its own map or the global one
    int transparent = -1;                         // -1: none
    int left = 0, top = 0, width = 0, height = 0;
    bool stored_interlaced = false;   // the raster's rows in the file's interlaced order
    const uint8_t* raster = nullptr;  // width x height indexes
};

}  // namespace quorvel::raster
