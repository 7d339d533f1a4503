// libjpeg-turbo in memory: baseline gray JPEG at quality 75.
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "reference_codecs.h"

namespace quorvel::bench {
namespace {

constexpr int kQuality = 75;

}  // namespace

Bytes jpeg_encode(const unsigned char* px, int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, kQuality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(px) + static_cast<size_t>(c.next_scanline) * w;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

Bytes jpeg_decode(const Bytes& stream) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, stream.data(), static_cast<unsigned long>(stream.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    Bytes px(static_cast<size_t>(d.output_width) * d.output_height * d.output_components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = px.data() + static_cast<size_t>(d.output_scanline) * d.output_width *
                                       d.output_components;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return px;
}

}  // namespace quorvel::bench
