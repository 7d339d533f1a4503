// The libtiff fallback of TTIFFGraphic: files the strips loop cannot turn into the picture
// (LZW, Group 4, old-style JPEG and other schemes, tiles, BigTIFF, sample layouts without a
// converter) are read by the container's libtiff reader and its record becomes the bitmap.
#include "raster/bmg_image.h"
#include "raster/bridge.h"
#include "raster/codecs/codecs.h"
#include "readers/formats/tiff.h"

namespace quorvel::readers {

bool TTIFFGraphic::load_fallback(std::span<const uint8_t> file) {
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.dibLayout = 1;
    if (raster::ReadTiffMemory(file.data(), file.size(), &img) != raster::BMG_OK) return false;
    const uint64_t pixels = uint64_t{img.width} * img.height;
    // 32-bit pixels are shown over the background colour, as every other load shows them.
    HBITMAP handle = pixels <= limits().max_pixels ? raster::BitmapFromImage(img, 1) : nullptr;
    raster::ReleaseImageRecord(&img);
    if (handle == nullptr) return false;
    progress_start(gesLoadingData);
    assign_handle(handle);
    progress_end();
    by_fallback_ = true;
    return true;
}

}  // namespace quorvel::readers
