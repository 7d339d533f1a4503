// GIF files that giflib refuses because an image's LZW minimum code size is above 8: the
// blocks are walked here and the first image decoded with our own LZW decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/bmg_error.h"
#include "raster/codecs/gif_image.h"

namespace quorvel::raster {

// True when some image of the file has an LZW minimum code size above 8.
bool gif_has_wide_codes(const std::vector<uint8_t>& file);

// The first image of such a file; `raster` holds its indexes. BMG_ERR_IMAGE_SIZE for an image
// over the load limits, BMG_ERR_CORRUPT_FORMAT for a file that is damaged or cut short, or
// whose code size is above 11.
BMGError read_wide_gif(const std::vector<uint8_t>& file, GifFirstImage& image,
                       std::vector<uint8_t>& raster);

}  // namespace quorvel::raster
