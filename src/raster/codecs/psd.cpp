// The container's PSD reader: the extended readers' Photoshop class decodes the file into a
// toolkit bitmap, whose rows then become a 24-bit (or, with alpha, 32-bit) record.
#include <cstring>
#include <memory>
#include <new>

#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "readers/reader_classes.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::raster {
namespace {

BMGError record_from_bitmap(toolkit::Bitmap& bitmap, BMGImage* img) {
    const bool alpha = bitmap.pixel_format() == toolkit::PixelFormat::Bit32;
    bitmap.set_pixel_format(alpha ? toolkit::PixelFormat::Bit32 : toolkit::PixelFormat::Bit24);
    img->width = static_cast<uint32_t>(bitmap.width());
    img->height = static_cast<uint32_t>(bitmap.height());
    img->bitsPerPixel = alpha ? 32 : 24;
    if (BMGError e = AllocateImageRecord(img); e != BMG_OK) return e;
    const size_t bytes = codec_io::PackedRowBytes(img->bitsPerPixel, img->width);
    for (uint32_t row = 0; row < img->height; ++row)
        std::memcpy(codec_io::ImageRow(*img, row),
                    bitmap.scanline(static_cast<int>(img->height - 1 - row)), bytes);
    return BMG_OK;
}

BMGError parse_psd(formats::ByteCursor& in, BMGImage* img) {
    toolkit::Stream stream(in.bytes());
    try {
        const std::unique_ptr<toolkit::Graphic> graphic = readers::psd_graphic_class().make();
        graphic->LoadFromStream(stream);
        return record_from_bitmap(dynamic_cast<toolkit::Bitmap&>(*graphic), img);
    } catch (const std::bad_alloc&) {
        return BMG_ERR_NO_MEMORY;
    } catch (const toolkit::GraphicError&) {
        return BMG_ERR_CORRUPT_FORMAT;
    }
}

}  // namespace

BMGError ReadPsdFile(const char* filename, BMGImage* img) {
    return codec_io::ReadWholeFile(filename, img, parse_psd);
}

}  // namespace quorvel::raster
