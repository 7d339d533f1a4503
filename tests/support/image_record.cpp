#include "support/image_record.h"

#include <gtest/gtest.h>

namespace quorvel::testing {

ImageRecord::ImageRecord(int32_t dib) {
    raster::ClearImageRecord(&img);
    img.dibLayout = dib;
}

ImageRecord::ImageRecord(uint32_t w, uint32_t h, uint8_t bits, int32_t dib, uint16_t palette) {
    raster::ClearImageRecord(&img);
    img.width = w;
    img.height = h;
    img.bitsPerPixel = bits;
    img.dibLayout = dib;
    img.paletteSize = palette;
    EXPECT_EQ(raster::AllocateImageRecord(&img), raster::BMG_OK);
}

ImageRecord::~ImageRecord() { raster::ReleaseImageRecord(&img); }

}  // namespace quorvel::testing
