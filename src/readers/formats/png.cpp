// Portable Network Graphics reader on libpng: every colour type and depth, interlaced or not,
// transparency as alpha, the file's gamma through the colour manager.
// libpng reports errors by a long jump back into the function that set it up. The two
// functions that call into libpng (header, then rows) hold only plain data across that
// point; everything with a destructor lives in their callers.
#include "readers/graphic_ex.h"

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <png.h>

#include "formats/deflate_bound.h"
#include "formats/png_glue.h"
#include "readers/formats/colour_setup.h"
#include "toolkit/graphic_errors.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

class TPNGGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;

private:
    void load_image(toolkit::Stream& stream) override;
};

constexpr const char* kName = "PNG";
constexpr double kDisplayGamma = 2.2;

struct PngJob {
    formats::PngMemorySource source;
    png_structp png;
    png_infop info;
    formats::PngErrorText error;
    // What the header set up.
    png_uint_32 width, height;
    int bit_depth, color_type;
    bool has_trns;
    double file_gamma;  // 0 without a gAMA chunk
    size_t row_bytes;
};

// Transparency becomes an alpha channel; gray with alpha is widened to RGBA, the colour
// manager having no gray-alpha target.
void set_transforms(PngJob* job) {
    png_structp png = job->png;
    const int type = job->color_type;
    if (job->has_trns) {
        png_set_expand(png);
        if (type == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(png);
    }
    if (type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, job->info);
    job->row_bytes = png_get_rowbytes(png, job->info);
}

bool read_png_header(PngJob* job) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    formats::read_png_from_memory(job->png, &job->source);
    formats::limit_png_chunks(job->png, job->source.size);
    png_read_info(job->png, job->info);
    png_get_IHDR(job->png, job->info, &job->width, &job->height, &job->bit_depth, &job->color_type,
                 nullptr, nullptr, nullptr);
    job->has_trns = png_get_valid(job->png, job->info, PNG_INFO_tRNS) != 0;
    job->file_gamma = 0;
    png_get_gAMA(job->png, job->info, &job->file_gamma);
    set_transforms(job);
    return true;
}

bool read_png_rows(PngJob* job, png_bytep* rows) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_read_image(job->png, rows);
    png_read_end(job->png, nullptr);
    return true;
}

// libpng's texts mapped onto the family's messages.
std::string message_for(const std::string& text) {
    const auto has = [&](const char* part) { return text.find(part) != std::string::npos; };
    if (has("CRC")) return toolkit::format_message(gesCRCError, kName);
    if (has("unhandled critical chunk") || has("unknown critical chunk"))
        return gesUnknownCriticalChunk;
    if (has("Read Error")) return toolkit::format_message(gesStreamReadError, kName);
    if (has("Too much image data") || has("xtra compress"))
        return toolkit::format_message(gesExtraCompressedData, kName);
    // Before the data's words: libpng names the chunk it was reading ("IDAT: Missing PLTE
    // before IDAT").
    if (has("PLTE") || has("palette")) return toolkit::format_message(gesInvalidPalette, kName);
    if (has("IDAT") || has("zlib") || has("image data") || has("deflate") || has("inflate") ||
        has("distance") || has("compressed data") || has("code") || has("block type") ||
        has("stored block") || has("header check"))
        return toolkit::format_message(gesCompression, kName);
    return toolkit::format_message(gesInvalidImage, kName);
}

class PngReadStruct {
public:
    explicit PngReadStruct(PngJob& job) : job_(job) {
        job.png = formats::create_png_reader(&job.error);
        if (job.png != nullptr) job.info = png_create_info_struct(job.png);
        if (job.info == nullptr) {
            // No destructor runs for a constructor that throws: free the read struct here.
            png_destroy_read_struct(&job.png, nullptr, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngReadStruct() { png_destroy_read_struct(&job_.png, &job_.info, nullptr); }
    PngReadStruct(const PngReadStruct&) = delete;
    PngReadStruct& operator=(const PngReadStruct&) = delete;

private:
    PngJob& job_;
};

ColorModel model_after_transforms(const PngJob& job) {
    if (job.has_trns || job.color_type == PNG_COLOR_TYPE_GRAY_ALPHA ||
        job.color_type == PNG_COLOR_TYPE_RGBA)
        return cmRGBA;
    if (job.color_type == PNG_COLOR_TYPE_PALETTE) return cmIndexed;
    return job.color_type == PNG_COLOR_TYPE_GRAY ? cmGray : cmRGB;
}

unsigned samples_of(ColorModel model) { return model == cmRGBA ? 4 : model == cmRGB ? 3 : 1; }

// The palette, through the gamma table when the file's gamma is applied.
std::vector<RGBQUAD> png_palette(const PngJob& job, const TColorManager& cm) {
    png_colorp colours = nullptr;
    int count = 0;
    std::vector<RGBQUAD> palette;
    if (png_get_PLTE(job.png, job.info, &colours, &count) == 0) return palette;
    const bool gamma = (cm.source_options() & coApplyGamma) != 0;
    const auto g = [&](uint8_t v) { return gamma ? cm.gamma_table()[v] : v; };
    for (int i = 0; i < count; ++i)
        palette.push_back(RGBQUAD{g(colours[i].blue), g(colours[i].green), g(colours[i].red), 0});
    // Indexes past the palette show black, as libpng gives them.
    palette.resize(256, RGBQUAD{0, 0, 0, 0});
    return palette;
}

// Gamma is applied when the file states one that differs from what the display expects.
uint32_t gamma_option(const PngJob& job, TColorManager& cm) {
    if (job.file_gamma <= 0) return 0;
    const double correction = job.file_gamma * kDisplayGamma;
    if (std::fabs(correction - 1.0) < 0.01) return 0;
    cm.set_gamma(static_cast<float>(correction));
    return coApplyGamma;
}

bool has_signature(const toolkit::Stream& stream) {
    return stream.remaining() >= 8 && png_sig_cmp(stream.rest().data(), 0, 8) == 0;
}

}  // namespace

bool TPNGGraphic::can_load_stream(toolkit::Stream& stream) { return has_signature(stream); }

bool TPNGGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (!has_signature(stream)) return false;
    PngJob job{};
    job.source = {stream.rest().data(), stream.remaining(), 0};
    PngReadStruct guard(job);
    if (!read_png_header(&job)) return false;
    ReaderImageInfo& info = image_info();
    info.width = static_cast<int32_t>(job.width);
    info.height = static_cast<int32_t>(job.height);
    info.sample_bits = static_cast<uint8_t>(job.bit_depth);
    info.color_model = model_after_transforms(job);
    info.samples = static_cast<uint8_t>(png_get_channels(job.png, job.info));
    info.pixel_bits = static_cast<uint8_t>(info.samples * job.bit_depth);
    info.compression = ctLZ77;
    if (job.file_gamma > 0) info.gamma = static_cast<float>(job.file_gamma);
    return true;
}

void TPNGGraphic::load_image(toolkit::Stream& stream) {
    release_image();
    if (!has_signature(stream)) fail(gesInvalidImage, kName);
    PngJob job{};
    job.source = {stream.rest().data(), stream.remaining(), 0};
    PngReadStruct guard(job);
    if (!read_png_header(&job)) throw toolkit::EInvalidGraphic(message_for(job.error.text));

    TColorManager& cm = color_manager();
    const ColorModel model = model_after_transforms(job);
    const unsigned bits = static_cast<unsigned>(job.bit_depth);
    const uint32_t gamma = gamma_option(job, cm);
    set_up_conversion(cm, model, bits, samples_of(model),
                      gamma | (bits == 16 ? uint32_t{coNeedByteSwap} : 0u));
    // A byte of inflated rows can hold eight 1-bit pixels.
    prepare_bitmap(static_cast<int>(job.width), static_cast<int>(job.height),
                   uint64_t{job.source.size} * formats::kDeflateMostPerByte * 8);
    if (model == cmIndexed) set_palette(png_palette(job, cm));

    if (uint64_t{job.row_bytes} * job.height > limits().max_load_bytes)
        fail(gesInvalidImage, kName);
    progress_start(gesLoadingData);
    std::vector<uint8_t> pixels(job.row_bytes * job.height);
    std::vector<png_bytep> rows(job.height);
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = pixels.data() + y * job.row_bytes;
    if (!read_png_rows(&job, rows.data()))
        throw toolkit::EInvalidGraphic(message_for(job.error.text));
    for (int y = 0; y < static_cast<int>(job.height); ++y) {
        const uint8_t* source[1] = {rows[y]};
        cm.convert_row(source, scanline(y), job.width);
        progress_row(y + 1, static_cast<int>(job.height));
    }
    progress_end();
}

const toolkit::GraphicClass& png_graphic_class() {
    return reader_class<TPNGGraphic>("TPNGGraphic");
}

}  // namespace quorvel::readers
