// The bitmap bridge: a BMGImage becomes a DIB section handle for the host, and a host's
// bitmap handle becomes a BMGImage for the writers.
#pragma once

#include <cstdint>

#include <quorvel/wingdi.h>

#include "raster/bmg_image.h"

namespace quorvel::raster {

// A BITMAPINFO header (40 bytes, positive height, bit count normalised to a DIB depth)
// followed by one zero colour entry.
BITMAPINFO FillBitmapInfoHeader(uint32_t width, uint32_t height, uint32_t bits_per_pixel,
                                uint32_t compression);

// A new DIB section holding the image; mode 1 composites 32-bit pixels over the background
// colour. Null on failure, the reason in the last error.
HBITMAP BitmapFromImage(BMGImage img, int composite_mode);
// The same, for a record the caller releases next: a dibLayout block becomes the section's
// pixels without a copy, and the record no longer holds it.
HBITMAP BitmapTakingImage(BMGImage& img, int composite_mode);

// Reads a DIB section or a device-dependent bitmap into `img` (dibLayout 1). With
// `uncomposite` set, 32-bit section pixels are un-blended from the background colour.
BMGError ImageFromBitmap(HBITMAP bitmap, BMGImage* img, int uncomposite);

}  // namespace quorvel::raster
