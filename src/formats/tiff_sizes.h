// The strips or tiles one TIFF image needs, checked before either TIFF reader sizes a picture:
// the bytes of its blocks inside the file must be able to give a quarter of the picture or
// more at the best ratio its compression can reach, so that a file cut short still gives what
// it holds. Pictures up to 1 MB always pass.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace quorvel::formats {

struct TiffBlocks {
    uint64_t file_size = 0;
    uint32_t width = 0, height = 0;
    uint32_t block_width = 0, block_height = 0;  // a tile, or the width x rows per strip
    bool tiled = false;
    uint32_t planes = 1;        // PlanarConfiguration 2: one set of blocks per sample
    double bits_per_pixel = 1;  // of one plane, as decoded (subsampled YCbCr: its average)
    uint32_t compression = 1;   // the Compression tag
    std::vector<uint64_t> offsets, counts;
    // The first bytes of block `index` (a JPEG block's headers); only asked for JPEG, and only
    // of a block that starts inside the file.
    std::function<std::vector<uint8_t>(size_t index)> head;
};

// True when the blocks can plausibly hold the image.
bool tiff_blocks_plausible(const TiffBlocks& blocks);

}  // namespace quorvel::formats
