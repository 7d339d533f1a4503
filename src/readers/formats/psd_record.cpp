#include "readers/formats/psd_record.h"

#include <cstring>
#include <memory>
#include <new>

#include "raster/codecs/codec_io.h"
#include "readers/reader_classes.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

using raster::BMG_OK;
using raster::BMGError;

BMGError record_from_bitmap(toolkit::Bitmap& bitmap, raster::BMGImage* img) {
    const bool alpha = bitmap.pixel_format() == toolkit::PixelFormat::Bit32;
    bitmap.set_pixel_format(alpha ? toolkit::PixelFormat::Bit32 : toolkit::PixelFormat::Bit24);
    img->width = static_cast<uint32_t>(bitmap.width());
    img->height = static_cast<uint32_t>(bitmap.height());
    img->bitsPerPixel = alpha ? 32 : 24;
    if (BMGError e = raster::AllocateImageRecord(img); e != BMG_OK) return e;
    const size_t bytes = raster::codec_io::PackedRowBytes(img->bitsPerPixel, img->width);
    for (uint32_t row = 0; row < img->height; ++row)
        std::memcpy(raster::codec_io::ImageRow(*img, row),
                    bitmap.scanline(static_cast<int>(img->height - 1 - row)), bytes);
    return BMG_OK;
}

}  // namespace

BMGError psd_to_record(const uint8_t* data, size_t size, raster::BMGImage* img) {
    toolkit::Stream stream(std::span<const uint8_t>(data, size));
    try {
        const std::unique_ptr<toolkit::Graphic> graphic = psd_graphic_class().make();
        graphic->LoadFromStream(stream);
        return record_from_bitmap(dynamic_cast<toolkit::Bitmap&>(*graphic), img);
    } catch (const std::bad_alloc&) {
        return raster::BMG_ERR_NO_MEMORY;
    } catch (const toolkit::GraphicError&) {
        return raster::BMG_ERR_CORRUPT_FORMAT;
    }
}

}  // namespace quorvel::readers
