// libjpeg's errors jump back to the one recovery point of each call (formats/jpeg_glue.h); only
// plain data lives across that point, so no destructor is skipped, and the C++ exception is
// thrown after the jump, outside libjpeg's frames.
#include "toolkit/jpeg_image.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

#include "formats/cmyk.h"
#include "formats/jpeg_glue.h"
#include "formats/jpeg_sizes.h"
#include "platform/limits.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

[[noreturn]] void raise(const formats::JpegErrors& manager) {
    throw EInvalidGraphic(std::string("JPEG error: ") + manager.message);
}

void gray_palette(Bitmap& bitmap) {
    std::vector<RGBQUAD> ramp(256);
    for (int i = 0; i < 256; ++i) ramp[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    bitmap.set_palette(ramp);
}

void choose_output(jpeg_decompress_struct& cinfo) {
    cinfo.dct_method = JDCT_ISLOW;
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) cinfo.out_color_space = JCS_GRAYSCALE;
    else if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)
        cinfo.out_color_space = JCS_CMYK;
    else cinfo.out_color_space = JCS_EXT_BGR;
}

void prepare_bitmap(const jpeg_decompress_struct& cinfo, uint64_t stream_bytes, Bitmap& out) {
    if (uint64_t(cinfo.output_width) * cinfo.output_height > platform::load_limits().max_pixels)
        throw EInvalidGraphic("JPEG image is too large");
    if (!formats::jpeg_header_plausible(&cinfo, stream_bytes))
        throw EInvalidGraphic("JPEG image is larger than its data can hold");
    const bool gray = cinfo.out_color_space == JCS_GRAYSCALE;
    out.set_pixel_format(gray ? PixelFormat::Bit8 : PixelFormat::Bit24);
    out.set_size(int(cinfo.output_width), int(cinfo.output_height));
    if (gray) gray_palette(out);
}

struct DecodeState {
    jpeg_decompress_struct cinfo;
    formats::JpegErrors errors;
    bool created = false;
    uint8_t* cmyk_row = nullptr;
};

// Reads the header into `s` and sizes `out`; false on a libjpeg error. C++ errors thrown by
// prepare_bitmap pass through no libjpeg frame.
bool read_header(DecodeState& s, std::span<const uint8_t> bytes, Bitmap& out) {
    if (setjmp(s.errors.recovery) != 0) return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.cinfo.mem->max_memory_to_use = formats::jpeg_memory_limit();
    jpeg_mem_src(&s.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&s.cinfo, TRUE);
    choose_output(s.cinfo);
    jpeg_calc_output_dimensions(&s.cinfo);
    prepare_bitmap(s.cinfo, bytes.size(), out);
    return true;
}

bool read_rows(DecodeState& s, Bitmap& out) {
    if (setjmp(s.errors.recovery) != 0) return false;
    jpeg_start_decompress(&s.cinfo);
    const bool cmyk = s.cinfo.out_color_space == JCS_CMYK;
    if (cmyk) s.cmyk_row = static_cast<uint8_t*>(std::malloc(size_t(s.cinfo.output_width) * 4));
    if (cmyk && s.cmyk_row == nullptr) return false;
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        uint8_t* row = out.scanline(int(s.cinfo.output_scanline));
        JSAMPROW target = cmyk ? s.cmyk_row : row;
        jpeg_read_scanlines(&s.cinfo, &target, 1);
        if (cmyk)
            formats::cmyk_row_to_bgr(s.cmyk_row, row, s.cinfo.output_width,
                                     s.cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

void finish(DecodeState& s) {
    if (s.created) jpeg_destroy_decompress(&s.cinfo);
    std::free(s.cmyk_row);
}

struct EncodeState {
    jpeg_compress_struct cinfo;
    formats::JpegErrors errors;
    bool created = false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

bool encode(EncodeState& s, const Bitmap& image, int quality) {
    if (setjmp(s.errors.recovery) != 0) return false;
    jpeg_create_compress(&s.cinfo);
    s.created = true;
    jpeg_mem_dest(&s.cinfo, &s.buffer, &s.size);
    s.cinfo.image_width = static_cast<JDIMENSION>(image.width());
    s.cinfo.image_height = static_cast<JDIMENSION>(image.height());
    s.cinfo.input_components = 3;
    s.cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    jpeg_start_compress(&s.cinfo, TRUE);
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(image.scanline(int(s.cinfo.next_scanline)));
        jpeg_write_scanlines(&s.cinfo, &row, 1);
    }
    jpeg_finish_compress(&s.cinfo);
    return true;
}

}  // namespace

void JpegImage::LoadFromStream(Stream& stream) {
    const std::span<const uint8_t> bytes = stream.rest();
    Bitmap decoded;
    DecodeState s;
    s.cinfo.err = formats::install_jpeg_errors(s.errors, true);
    bool ok = false;
    try {
        ok = read_header(s, bytes, decoded) && read_rows(s, decoded);
    } catch (...) {
        finish(s);
        throw;
    }
    finish(s);
    if (!ok) raise(s.errors);
    bitmap_.assign(decoded);
    stream.seek(stream.size());
}

void JpegImage::assign(const Graphic& picture) { bitmap_.assign(picture); }

std::vector<uint8_t> JpegImage::save_to_memory() const {
    if (bitmap_.empty()) throw EInvalidGraphic("Cannot save an empty JPEG image");
    Bitmap colour;
    colour.assign(bitmap_);
    colour.set_pixel_format(PixelFormat::Bit24);
    EncodeState s;
    s.cinfo.err = formats::install_jpeg_errors(s.errors, true);
    const bool ok = encode(s, colour, quality < 1 ? 1 : quality > 100 ? 100 : quality);
    std::vector<uint8_t> out;
    if (ok) out.assign(s.buffer, s.buffer + s.size);
    if (s.created) jpeg_destroy_compress(&s.cinfo);
    std::free(s.buffer);
    if (!ok) raise(s.errors);
    return out;
}

const GraphicClass& jpeg_class() {
    static const GraphicClass c{"TJPEGImage",
                                [] { return std::unique_ptr<Graphic>(new JpegImage); }};
    return c;
}

std::vector<uint8_t> encode_bmp_or_jpeg(const Bitmap& bitmap, bool jpeg, int quality) {
    if (!jpeg) return bitmap.save_to_memory();
    JpegImage image;
    image.assign(bitmap);
    image.quality = quality;
    return image.save_to_memory();
}

}  // namespace quorvel::toolkit
