// The strips or tiles one TIFF image needs, checked before either TIFF reader sizes a picture:
// every block must lie inside the file, and the bytes it holds must be able to decode to the
// pixels it covers under the best ratio its compression can reach.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace quorvel::raster {

struct TiffBlocks {
    uint64_t file_size = 0;
    uint32_t width = 0, height = 0;
    uint32_t block_width = 0, block_height = 0;  // a tile, or the width x rows per strip
    bool tiled = false;
    uint32_t planes = 1;          // PlanarConfiguration 2: one set of blocks per sample
    double bits_per_pixel = 1;    // of one plane, as decoded (subsampled YCbCr: its average)
    uint32_t compression = 1;     // the Compression tag
    std::vector<uint64_t> offsets, counts;
    // The first bytes of block `index` (a JPEG block's headers); only asked for JPEG.
    std::function<std::vector<uint8_t>(size_t index)> head;
};

// True when the blocks are all present and can hold the image.
bool tiff_blocks_plausible(const TiffBlocks& blocks);

}  // namespace quorvel::raster
