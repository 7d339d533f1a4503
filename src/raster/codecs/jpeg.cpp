// JPEG reader and writer on libjpeg-turbo. libjpeg's errors jump back to the call's one
// recovery point (formats/jpeg_glue.h); everything that lives across that point is plain data
// in one state record, so no destructor is ever skipped.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include <jpeglib.h>

#include "formats/cmyk.h"
#include "formats/jpeg_glue.h"
#include "formats/jpeg_sizes.h"
#include "formats/palette.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

constexpr uint32_t kMaxJpegDimension = JPEG_MAX_DIMENSION;

// What a libjpeg failure means for the container's codes.
BMGError FailureCode(const formats::JpegErrors& errors, bool reading) {
    if (!reading) return BMG_ERR_WRITE_FILE;
    if (errors.ended_early) return BMG_ERR_READ_FILE;  // a file cut short is a short read
    // No start-of-image marker: not a JPEG file at all, as a PNG without its signature.
    return formats::jpeg_not_a_jpeg(errors) ? BMG_ERR_FORMAT_OPTION : BMG_ERR_CORRUPT_FORMAT;
}

struct JpegReadState {
    BMGImage* img;
    FILE* file;
    jpeg_decompress_struct cinfo;
    bool created;
    formats::JpegErrors errors;
    uint8_t* cmykRow;
};

BMGError ChooseOutput(JpegReadState* s) {
    jpeg_decompress_struct* cinfo = &s->cinfo;
    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo->out_color_space = JCS_GRAYSCALE;
            s->img->bitsPerPixel = 8;
            s->img->paletteSize = 256;
            s->img->paletteEntryBytes = s->img->dibLayout > 0 ? 4 : 3;
            return BMG_OK;
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo->out_color_space = JCS_EXT_BGR;
            s->img->bitsPerPixel = 24;
            return BMG_OK;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo->out_color_space = JCS_CMYK;
            s->img->bitsPerPixel = 24;
            return BMG_OK;
        default:
            return BMG_ERR_FORMAT_OPTION;
    }
}

BMGError DecodeJpegRows(JpegReadState* s) {
    jpeg_decompress_struct* cinfo = &s->cinfo;
    BMGImage* img = s->img;
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    if (cmyk) {
        s->cmykRow =
            static_cast<uint8_t*>(std::malloc(static_cast<size_t>(cinfo->output_width) * 4));
        if (s->cmykRow == nullptr) return BMG_ERR_NO_MEMORY;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        uint8_t* row = codec_io::ImageRow(*img, img->height - 1 - cinfo->output_scanline);
        JSAMPROW target = cmyk ? s->cmykRow : row;
        if (jpeg_read_scanlines(cinfo, &target, 1) != 1) return BMG_ERR_READ_FILE;
        if (cmyk) formats::cmyk_row_to_bgr(s->cmykRow, row, img->width, cinfo->saw_Adobe_marker);
    }
    jpeg_finish_decompress(cinfo);
    return BMG_OK;
}

BMGError ReadJpegBody(JpegReadState* s) {
    jpeg_decompress_struct* cinfo = &s->cinfo;
    jpeg_stdio_src(cinfo, s->file);
    cinfo->mem->max_memory_to_use = formats::jpeg_memory_limit();
    jpeg_read_header(cinfo, TRUE);
    // libjpeg sizes its buffers (all coefficients, for a progressive file) at the start.
    struct stat facts {};
    if (fstat(fileno(s->file), &facts) != 0 ||
        !formats::jpeg_header_plausible(cinfo, static_cast<uint64_t>(facts.st_size)))
        return BMG_ERR_IMAGE_SIZE;
    BMGError code = ChooseOutput(s);
    if (code != BMG_OK) return code;
    jpeg_start_decompress(cinfo);
    s->img->width = cinfo->output_width;
    s->img->height = cinfo->output_height;
    if ((code = AllocateImageRecord(s->img)) != BMG_OK) return code;
    if (s->img->bitsPerPixel == 8) codec_io::FillGrayRamp(*s->img);
    return DecodeJpegRows(s);
}

BMGError FinishRead(JpegReadState* s, BMGError code) {
    if (s->created) jpeg_destroy_decompress(&s->cinfo);
    std::free(s->cmykRow);
    if (s->file != nullptr) std::fclose(s->file);
    if (code == BMG_OK) return BMG_OK;
    ReleaseImageRecord(s->img);
    return SetLastImageError(code);
}

}  // namespace

BMGError ReadJpegFile(const char* filename, BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    auto* state = static_cast<JpegReadState*>(std::calloc(1, sizeof(JpegReadState)));
    if (state == nullptr) return SetLastImageError(BMG_ERR_NO_MEMORY);
    state->img = img;
    BMGError code = BMG_OK;
    state->file = filename != nullptr ? std::fopen(filename, "rb") : nullptr;
    if (state->file == nullptr) {
        code = BMG_ERR_OPEN_FILE;
    } else {
        state->cinfo.err = formats::install_jpeg_errors(state->errors, true);
        if (setjmp(state->errors.recovery)) {
            code = FailureCode(state->errors, true);
        } else {
            jpeg_create_decompress(&state->cinfo);
            state->created = true;
            code = ReadJpegBody(state);
        }
    }
    code = FinishRead(state, code);
    std::free(state);
    return code;
}

// ---------------------------------------------------------------------------------------------
// Writer

namespace {

struct JpegWriteState {
    BMGImage img;
    FILE* file;
    jpeg_compress_struct cinfo;
    bool created;
    formats::JpegErrors errors;
    uint8_t* row;
};

// Indexed images go out as gray when their colours are all gray, or when they have no palette
// at all (their indexes are then read as the gray ramp, as IndexedRow does).
bool WritesAsGray(const BMGImage& img) {
    return !codec_io::HasPalette(img) || codec_io::IsGrayPalette(img);
}

unsigned IndexAt(const uint8_t* row, uint32_t x, unsigned depth) {
    const size_t bit = static_cast<size_t>(x) * depth;
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// Indexed rows through the palette: gray levels for a gray palette (the ramp without one),
// else blue, green, red. Indexes past the palette are black.
void IndexedRow(const BMGImage& img, const uint8_t* in, uint8_t* out, bool gray) {
    const unsigned maxIndex = (1u << img.bitsPerPixel) - 1;
    for (uint32_t x = 0; x < img.width; ++x) {
        const unsigned index = IndexAt(in, x, img.bitsPerPixel);
        uint8_t bgr[3] = {0, 0, 0};
        const uint8_t* entry = codec_io::PaletteOf(img).entry(index);
        if (!codec_io::HasPalette(img))
            bgr[0] = bgr[1] = bgr[2] = formats::gray_ramp_level(index, maxIndex + 1);
        else if (entry != nullptr) std::memcpy(bgr, entry, 3);
        if (gray) out[x] = bgr[0];
        else std::memcpy(out + 3 * x, bgr, 3);
    }
}

void Rgb555Row(const uint8_t* in, uint8_t* out, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, in += 2, out += 3) formats::bgr_from_555(in, out);
}

void SetInputFormat(JpegWriteState* s) {
    jpeg_compress_struct* cinfo = &s->cinfo;
    const BMGImage& img = s->img;
    cinfo->image_width = img.width;
    cinfo->image_height = img.height;
    if (img.bitsPerPixel <= 8 && WritesAsGray(img)) {
        cinfo->input_components = 1;
        cinfo->in_color_space = JCS_GRAYSCALE;
    } else if (img.bitsPerPixel == 32) {
        cinfo->input_components = 4;  // alpha is not kept: JPEG has no place for it
        cinfo->in_color_space = JCS_EXT_BGRX;
    } else {
        cinfo->input_components = 3;
        cinfo->in_color_space = JCS_EXT_BGR;
    }
}

BMGError WriteJpegBody(JpegWriteState* s, int quality) {
    jpeg_compress_struct* cinfo = &s->cinfo;
    const BMGImage& img = s->img;
    jpeg_stdio_dest(cinfo, s->file);
    SetInputFormat(s);
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    const bool converted = img.bitsPerPixel <= 16;
    if (converted) {
        s->row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(img.width) * 3));
        if (s->row == nullptr) return BMG_ERR_NO_MEMORY;
    }
    jpeg_start_compress(cinfo, TRUE);
    const bool gray = cinfo->in_color_space == JCS_GRAYSCALE;
    while (cinfo->next_scanline < cinfo->image_height) {
        uint8_t* in = codec_io::ImageRow(img, img.height - 1 - cinfo->next_scanline);
        if (img.bitsPerPixel == 16) Rgb555Row(in, s->row, img.width);
        else if (img.bitsPerPixel <= 8) IndexedRow(img, in, s->row, gray);
        JSAMPROW row = converted ? s->row : in;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return BMG_OK;
}

BMGError FinishWrite(JpegWriteState* s, BMGError code) {
    if (s->created) jpeg_destroy_compress(&s->cinfo);
    std::free(s->row);
    if (s->file != nullptr && std::fclose(s->file) != 0 && code == BMG_OK)
        code = BMG_ERR_WRITE_FILE;
    return code == BMG_OK ? BMG_OK : SetLastImageError(code);
}

}  // namespace

BMGError WriteJpegFile(const char* filename, BMGImage img, int quality) {
    SetLastImageError(BMG_OK);
    const codec_io::WriterRules rules{
        .pixelsFirst = false, .maxDimension = kMaxJpegDimension, .indexedNeedsPalette = false};
    BMGError code = codec_io::CheckWritableImage(img, rules);
    if (code != BMG_OK) return SetLastImageError(code);
    auto* state = static_cast<JpegWriteState*>(std::calloc(1, sizeof(JpegWriteState)));
    if (state == nullptr) return SetLastImageError(BMG_ERR_NO_MEMORY);
    state->img = img;
    state->file = filename != nullptr ? std::fopen(filename, "wb") : nullptr;
    if (state->file == nullptr) {
        code = BMG_ERR_OPEN_FILE;
    } else {
        state->cinfo.err = formats::install_jpeg_errors(state->errors, false);
        if (setjmp(state->errors.recovery)) {
            code = FailureCode(state->errors, false);
        } else {
            jpeg_create_compress(&state->cinfo);
            state->created = true;
            code = WriteJpegBody(state, quality < 0 ? 0 : (quality > 100 ? 100 : quality));
        }
    }
    code = FinishWrite(state, code);
    std::free(state);
    return code;
}

}  // namespace quorvel::raster
