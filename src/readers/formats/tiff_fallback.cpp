// The libtiff fallback of TTIFFGraphic: the container's libtiff reader reads the file from
// memory and its record becomes the bitmap (24 bits, 32 with alpha, or indexed), by the rules
// of the reader's own decoders: rows in stored order (the Orientation tag is not applied),
// colours as stored, alpha kept in the bitmap for the load to drop as it drops the native
// path's. Files that take it:
// - compression schemes without a decoder here: LZW (5), CCITT Group 4 (4), old-style JPEG
//   (6), and every other value libtiff decodes (NeXT, PixarLog, JBIG, LZMA, ZSTD, WebP, ...);
// - tiled images (which the strips loop leaves empty: they stay empty when libtiff fails too);
// - versions other than 42 (BigTIFF, 43);
// - sample layouts without a converter path here: bits per sample other than 1, 2, 4, 8, 16
//   (12-bit, 32-bit) and floating point of any width, both read as 8-bit levels; colour
//   samples below 8 bits, more than 4 samples, sample counts that do not match the
//   photometric interpretation, unknown photometric values (LogLuv, CFA, ...), planar or
//   odd-factor subsampled YCbCr outside JPEG.
// Everything else is read by the strips loop, and a failure there is reported, not retried.
#include "raster/bmg_image.h"
#include "raster/bridge.h"
#include "raster/codecs/codecs.h"
#include "readers/formats/tiff.h"

namespace quorvel::readers {

bool TTIFFGraphic::load_fallback(std::span<const uint8_t> file) {
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.dibLayout = 1;
    const raster::TiffReadRules native_rules{.apply_orientation = false, .stored_colours = true};
    if (raster::ReadTiffMemory(file.data(), file.size(), &img, native_rules) != raster::BMG_OK)
        return false;
    const uint64_t pixels = uint64_t{img.width} * img.height;
    HBITMAP handle = pixels <= limits().max_pixels ? raster::BitmapTakingImage(img, 0) : nullptr;
    raster::ReleaseImageRecord(&img);
    if (handle == nullptr) return false;
    progress_start(gesLoadingData);
    assign_handle(handle);
    progress_end();
    by_fallback_ = true;
    return true;
}

}  // namespace quorvel::readers
