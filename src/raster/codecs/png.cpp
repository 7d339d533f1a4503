// PNG reader and writer on libpng 1.6. Each call keeps one recovery point (png_jmpbuf): a libpng
// error jumps back to it (formats/png_glue.h; the container reports a failure by its code
// alone, so libpng's text is not kept) and the call releases what it had acquired. Everything that
// lives across that point is plain data in one state record, so no destructor is ever skipped.
#include <png.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/deflate_bound.h"
#include "formats/png_glue.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/png_rows.h"

namespace quorvel::raster {

void ExpandRows2To4(uint8_t* destination, uint8_t source, int count) {
    const int p0 = (source >> 6) & 3, p1 = (source >> 4) & 3;
    const int p2 = (source >> 2) & 3, p3 = source & 3;
    destination[0] = static_cast<uint8_t>(p0 * 16 + p1);
    if (count > 1) destination[1] = static_cast<uint8_t>(p2 * 16 + p3);
}

namespace {

constexpr size_t kSignatureBytes = 8;

// How a tRNS chunk (with or without bKGD) changes what the reader produces.
enum class Transparency {
    None,
    TransparentIndex0,  // palette entry 0 fully transparent: the bitmap shows the background
    AlphaChannel,       // palette alphas become a 32-bit alpha channel
    CompositeEntry0,    // palette entry 0 blended over the background colour
    GrayBackground,     // the transparent gray level shows the background colour
    ColourKey,          // truecolour pixels equal to the tRNS colour become the background
};

struct PngReadState {
    BMGImage* img;
    FILE* file;
    png_structp png;
    png_infop info;
    png_bytep rowBlock;
    png_bytepp rows;
    uint64_t fileBytes;
};

// What the header chunks say, and what the reader makes of it.
struct PngLayout {
    png_uint_32 width, height;
    int depth, colourType;
    int workingDepth;
    Transparency transparency;
    png_byte background[3];  // red, green, blue, scaled to 8 bits
    png_bytep transAlpha;
    int transCount;
    png_color_16 transColour;
    png_colorp plte;
    int plteCount;
};

uint8_t ScaleTo8Bits(unsigned value, int depth) {
    if (depth == 16) return static_cast<uint8_t>(value >> 8);
    if (depth >= 8) return static_cast<uint8_t>(value);
    const unsigned max = (1u << depth) - 1;
    return static_cast<uint8_t>((value & max) * 255 / max);
}

// The background colour of a bKGD chunk in 8-bit samples. libpng hands gray and truecolour
// values at the image's own depth, so they are scaled, not cut to their low byte.
void ReadBackground(PngReadState* s, PngLayout* l, bool* present) {
    png_color_16p bkgd = nullptr;
    *present =
        png_get_valid(s->png, s->info, PNG_INFO_bKGD) && png_get_bKGD(s->png, s->info, &bkgd);
    if (!*present) return;
    const int depth = l->colourType == PNG_COLOR_TYPE_PALETTE ? 8 : l->depth;
    l->background[0] = ScaleTo8Bits(bkgd->red, depth);
    l->background[1] = ScaleTo8Bits(bkgd->green, depth);
    l->background[2] = ScaleTo8Bits(bkgd->blue, depth);
}

void DecideTransparency(PngReadState* s, PngLayout* l) {
    bool hasBackground = false;
    ReadBackground(s, l, &hasBackground);
    l->transparency = Transparency::None;
    png_color_16p transColour = nullptr;
    if (!png_get_valid(s->png, s->info, PNG_INFO_tRNS) ||
        !png_get_tRNS(s->png, s->info, &l->transAlpha, &l->transCount, &transColour))
        return;
    if (transColour != nullptr) l->transColour = *transColour;
    switch (l->colourType) {
        case PNG_COLOR_TYPE_PALETTE:
            if (l->transAlpha == nullptr || l->transCount < 1) return;
            if (l->transCount >= 2) l->transparency = Transparency::AlphaChannel;
            else if (hasBackground) l->transparency = Transparency::CompositeEntry0;
            else
                l->transparency = l->transAlpha[0] == 0 ? Transparency::TransparentIndex0
                                                        : Transparency::AlphaChannel;
            return;
        case PNG_COLOR_TYPE_GRAY:
            if (hasBackground) l->transparency = Transparency::GrayBackground;
            return;
        case PNG_COLOR_TYPE_RGB:
            if (hasBackground) l->transparency = Transparency::ColourKey;
            return;
        default:
            return;
    }
}

bool NeedsAlpha(const PngLayout* l) { return l->transparency == Transparency::AlphaChannel; }

// Depth of the record: indexes keep theirs (2 bits widened to 4), 16-bit samples become 8,
// and anything with alpha becomes 32.
int RecordDepth(PngReadState* s, const PngLayout* l) {
    if (l->colourType == PNG_COLOR_TYPE_GRAY_ALPHA || NeedsAlpha(l)) return 32;
    const int channels = png_get_channels(s->png, s->info);
    return channels * l->workingDepth;
}

void SetEntry(BMGImage* img, unsigned index, const png_byte rgb[3]) {
    if (index >= img->paletteSize) return;
    uint8_t* entry = img->palette + index * img->paletteEntryBytes;
    entry[0] = rgb[2];
    entry[1] = rgb[1];
    entry[2] = rgb[0];
}

// The ramp entry of the tRNS gray level shows the background colour. (Not always entry 0:
// the transparent level is whatever the chunk names.)
void ApplyGrayBackground(BMGImage* img, const PngLayout* l) {
    unsigned level = l->transColour.gray;
    if (l->depth == 16) level >>= 8;
    SetEntry(img, level, l->background);
}

void FillPalette(BMGImage* img, const PngLayout* l) {
    if (l->colourType != PNG_COLOR_TYPE_PALETTE) {
        codec_io::FillGrayRamp(*img);
        if (l->transparency == Transparency::GrayBackground) ApplyGrayBackground(img, l);
        return;
    }
    for (int i = 0; i < l->plteCount && i < img->paletteSize; ++i) {
        png_byte rgb[3] = {l->plte[i].red, l->plte[i].green, l->plte[i].blue};
        if (i == 0 && l->transparency == Transparency::CompositeEntry0) {
            for (int c = 0; c < 3; ++c)
                rgb[c] = CompositeChannel(rgb[c], l->transAlpha[0], l->background[c]);
        }
        SetEntry(img, static_cast<unsigned>(i), rgb);
    }
}

// The size of the open file, or false.
bool FileBytes(std::FILE* file, uint64_t* bytes) {
    struct stat facts {};
    if (fstat(fileno(file), &facts) != 0) return false;
    *bytes = static_cast<uint64_t>(facts.st_size);
    return true;
}

// Header facts into the record and the layout; requests libpng's transformations.
BMGError ReadHeader(PngReadState* s, PngLayout* l) {
    int interlace = 0;
    if (!FileBytes(s->file, &s->fileBytes)) return BMG_ERR_READ_FILE;
    png_init_io(s->png, s->file);
    formats::limit_png_chunks(s->png, s->fileBytes);
    png_set_sig_bytes(s->png, kSignatureBytes);
    png_read_info(s->png, s->info);
    png_get_IHDR(s->png, s->info, &l->width, &l->height, &l->depth, &l->colourType, &interlace,
                 nullptr, nullptr);
    s->img->width = l->width;
    s->img->height = l->height;
    l->workingDepth = l->depth == 2 ? 4 : (l->depth == 16 ? 8 : l->depth);
    DecideTransparency(s, l);
    // Keyed 16-bit truecolour stays wide until each pixel is compared with the full key.
    if (l->depth == 16 && l->transparency != Transparency::ColourKey) png_set_strip_16(s->png);
    if (NeedsAlpha(l) && l->depth < 8) {
        png_set_packing(s->png);
        l->workingDepth = 8;
    }
    if (l->colourType == PNG_COLOR_TYPE_PALETTE &&
        !png_get_PLTE(s->png, s->info, &l->plte, &l->plteCount))
        return BMG_ERR_CORRUPT_FORMAT;
    s->img->bitsPerPixel = static_cast<uint8_t>(RecordDepth(s, l));
    return BMG_OK;
}

// A file holds at most what deflate can pack into its bytes of filtered rows; a header
// claiming more is refused before anything is sized from it. The row block libpng fills is checked
// against the load limits with the picture.
BMGError CheckClaimedSize(PngReadState* s, const PngLayout* l) {
    const int channels = png_get_channels(s->png, s->info);
    const uint64_t row = (uint64_t{l->width} * channels * l->depth + 7) / 8 + 1;
    const uint64_t rows = row * l->height;
    if (rows / formats::kDeflateMostPerByte > s->fileBytes) return BMG_ERR_IMAGE_SIZE;
    return CheckImageLimits(l->width, l->height, rows * 2);
}

BMGError AllocateRecord(PngReadState* s, const PngLayout* l) {
    if (BMGError e = CheckClaimedSize(s, l); e != BMG_OK) return e;
    BMGImage* img = s->img;
    if (img->bitsPerPixel <= 8) {
        const int ramp = 1 << (l->depth < 8 ? l->depth : 8);
        int count = l->colourType == PNG_COLOR_TYPE_PALETTE ? l->plteCount : ramp;
        if (count < 1) count = 1;
        if (count > 256) count = 256;
        img->paletteSize = static_cast<uint16_t>(count);
        img->paletteEntryBytes = img->dibLayout > 0 ? 4 : 3;
    }
    const BMGError code = AllocateImageRecord(img);
    if (code != BMG_OK) return code;
    if (img->bitsPerPixel <= 8) FillPalette(img, l);
    if (l->transparency == Transparency::TransparentIndex0) img->transparentIndex = 0;
    return BMG_OK;
}

BMGError DecodeRows(PngReadState* s, const PngLayout* l) {
    png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    const size_t rowBytes = png_get_rowbytes(s->png, s->info);
    s->rowBlock = static_cast<png_bytep>(std::malloc(rowBytes * l->height));
    s->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * l->height));
    if (s->rowBlock == nullptr || s->rows == nullptr) return BMG_ERR_NO_MEMORY;
    for (png_uint_32 y = 0; y < l->height; ++y) s->rows[y] = s->rowBlock + rowBytes * y;
    png_read_image(s->png, s->rows);
    return BMG_OK;
}

void ConvertRow2Bit(const png_byte* in, uint8_t* out, png_uint_32 width) {
    const size_t outBytes = codec_io::PackedRowBytes(4, width);
    for (size_t i = 0; 2 * i < outBytes; ++i)
        ExpandRows2To4(out + 2 * i, in[i], outBytes - 2 * i >= 2 ? 2 : 1);
}

void ConvertRowPaletteAlpha(const png_byte* in, uint8_t* out, const PngLayout* l) {
    for (png_uint_32 x = 0; x < l->width; ++x, out += 4) {
        const int index = in[x];
        if (index < l->plteCount) {
            out[0] = l->plte[index].blue;
            out[1] = l->plte[index].green;
            out[2] = l->plte[index].red;
        }
        out[3] = index < l->transCount ? l->transAlpha[index] : 255;
    }
}

void ConvertRowGrayAlpha(const png_byte* in, uint8_t* out, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, in += 2, out += 4) {
        out[0] = out[1] = out[2] = in[0];
        out[3] = in[1];
    }
}

// Sample c of a pixel whose samples are 1 or 2 (big-endian) bytes.
unsigned PixelSample(const png_byte* pixel, int c, int sampleBytes) {
    return sampleBytes == 2 ? (pixel[2 * c] << 8) | pixel[2 * c + 1] : pixel[c];
}

bool IsKeyColour(const png_byte* pixel, const PngLayout* l, int sampleBytes) {
    return PixelSample(pixel, 0, sampleBytes) == l->transColour.red &&
           PixelSample(pixel, 1, sampleBytes) == l->transColour.green &&
           PixelSample(pixel, 2, sampleBytes) == l->transColour.blue;
}

// Red, green, blue (, alpha) into blue, green, red (, alpha); wide samples keep their high byte.
void ConvertRowColour(const png_byte* in, uint8_t* out, const PngLayout* l, int channels) {
    const bool keyed = l->transparency == Transparency::ColourKey;
    const int sampleBytes = keyed && l->depth == 16 ? 2 : 1;
    for (png_uint_32 x = 0; x < l->width; ++x, in += channels * sampleBytes, out += channels) {
        if (keyed && IsKeyColour(in, l, sampleBytes)) {
            out[0] = l->background[2], out[1] = l->background[1], out[2] = l->background[0];
            continue;
        }
        out[0] = in[2 * sampleBytes];
        out[1] = in[sampleBytes];
        out[2] = in[0];
        if (channels == 4) out[3] = in[3];
    }
}

// PNG rows top first into the record's rows from the last upwards.
void StoreRows(PngReadState* s, const PngLayout* l) {
    BMGImage* img = s->img;
    const size_t copyBytes = codec_io::PackedRowBytes(img->bitsPerPixel, img->width);
    for (png_uint_32 y = 0; y < l->height; ++y) {
        const png_byte* in = s->rows[y];
        uint8_t* out = codec_io::ImageRow(*img, l->height - 1 - y);
        if (l->colourType == PNG_COLOR_TYPE_GRAY_ALPHA) ConvertRowGrayAlpha(in, out, l->width);
        else if (l->colourType == PNG_COLOR_TYPE_PALETTE && NeedsAlpha(l))
            ConvertRowPaletteAlpha(in, out, l);
        else if (l->colourType == PNG_COLOR_TYPE_RGB) ConvertRowColour(in, out, l, 3);
        else if (l->colourType == PNG_COLOR_TYPE_RGB_ALPHA) ConvertRowColour(in, out, l, 4);
        else if (l->depth == 2) ConvertRow2Bit(in, out, l->width);
        else std::memcpy(out, in, copyBytes);
    }
}

// The largest palette index any pixel of a 1-, 2-, 4- or 8-bit record holds.
unsigned LargestIndex(const BMGImage& img) {
    unsigned largest = 0;
    const unsigned depth = img.bitsPerPixel, mask = (1u << depth) - 1;
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* row = codec_io::ImageRow(img, y);
        for (uint32_t x = 0; x < img.width; ++x) {
            const size_t bit = static_cast<size_t>(x) * depth;
            const unsigned index = (row[bit / 8] >> (8 - depth - bit % 8)) & mask;
            if (index > largest) largest = index;
        }
    }
    return largest;
}

// A damaged palette file may use indexes past its PLTE (libpng only warns). The palette grows
// to cover them, with black entries, so that no one who looks an index up reads past it.
BMGError CoverPaletteIndexes(BMGImage* img) {
    const unsigned largest = LargestIndex(*img);
    if (largest < img->paletteSize) return BMG_OK;
    auto* grown = static_cast<uint8_t*>(std::calloc(largest + 1, img->paletteEntryBytes));
    if (grown == nullptr) return BMG_ERR_NO_MEMORY;
    std::memcpy(grown, img->palette,
                static_cast<size_t>(img->paletteSize) * img->paletteEntryBytes);
    std::free(img->palette);
    img->palette = grown;
    img->paletteSize = static_cast<uint16_t>(largest + 1);
    return BMG_OK;
}

BMGError ReadPngBody(PngReadState* s) {
    PngLayout layout{};
    BMGError code = ReadHeader(s, &layout);
    if (code == BMG_OK) code = AllocateRecord(s, &layout);
    if (code == BMG_OK) code = DecodeRows(s, &layout);
    if (code != BMG_OK) return code;
    StoreRows(s, &layout);
    png_read_end(s->png, nullptr);
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE && s->img->bitsPerPixel <= 8)
        return CoverPaletteIndexes(s->img);
    return BMG_OK;
}

BMGError FinishRead(PngReadState* s, BMGError code) {
    if (s->png != nullptr) png_destroy_read_struct(&s->png, s->info ? &s->info : nullptr, nullptr);
    std::free(s->rows);
    std::free(s->rowBlock);
    if (s->file != nullptr) std::fclose(s->file);
    if (code == BMG_OK) return BMG_OK;
    ReleaseImageRecord(s->img);
    return SetLastImageError(code);
}

BMGError OpenPng(PngReadState* s, const char* filename) {
    s->file = filename ? std::fopen(filename, "rb") : nullptr;
    if (s->file == nullptr) return BMG_ERR_OPEN_FILE;
    png_byte signature[kSignatureBytes];
    if (std::fread(signature, 1, kSignatureBytes, s->file) != kSignatureBytes ||
        png_sig_cmp(signature, 0, kSignatureBytes) != 0)
        return BMG_ERR_FORMAT_OPTION;
    s->png = formats::create_png_reader(nullptr);
    if (s->png != nullptr) s->info = png_create_info_struct(s->png);
    return s->info == nullptr ? BMG_ERR_NO_MEMORY : BMG_OK;
}

}  // namespace

BMGError ReadPngFile(const char* filename, BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    PngReadState state{};
    state.img = img;
    BMGError code = OpenPng(&state, filename);
    if (code != BMG_OK) return FinishRead(&state, code);
    if (setjmp(png_jmpbuf(state.png))) code = BMG_ERR_CORRUPT_FORMAT;
    else code = ReadPngBody(&state);
    return FinishRead(&state, code);
}

// ---------------------------------------------------------------------------------------------
// Writer

namespace {

struct PngWriteState {
    BMGImage img;  // the caller's record, or a copy whose pixels the writer owns
    FILE* file;
    png_structp png;
    png_infop info;
    png_colorp plte;
    png_bytep row;
    uint8_t* ownPixels;
};

// Indexes can be written as gray levels only when the palette is the gray ramp of the depth;
// any other palette, gray or not, is written as PLTE so that every pixel keeps its colour.
bool WritesAsGray(const BMGImage& img) {
    return !codec_io::HasPalette(img) || codec_io::IsGrayRamp(img);
}

// PLTE from the palette; entries that pixels use beyond the palette are black.
BMGError WritePalette(PngWriteState* s) {
    const BMGImage& img = s->img;
    const unsigned levels = 1u << img.bitsPerPixel;
    unsigned count = img.paletteSize < levels ? img.paletteSize : levels;
    const unsigned used = LargestIndex(img) + 1;
    if (used > count) count = used;
    s->plte = static_cast<png_colorp>(png_malloc_warn(s->png, count * sizeof(png_color)));
    if (s->plte == nullptr) return BMG_ERR_NO_MEMORY;
    std::memset(s->plte, 0, count * sizeof(png_color));
    for (unsigned i = 0; i < count && i < img.paletteSize; ++i) {
        const uint8_t* entry = img.palette + i * img.paletteEntryBytes;
        s->plte[i].red = entry[2];
        s->plte[i].green = entry[1];
        s->plte[i].blue = entry[0];
    }
    png_set_PLTE(s->png, s->info, s->plte, static_cast<int>(count));
    return BMG_OK;
}

void FillRow(const BMGImage& img, const uint8_t* in, png_bytep out) {
    if (img.bitsPerPixel <= 8) {
        std::memcpy(out, in, codec_io::PackedRowBytes(img.bitsPerPixel, img.width));
        return;
    }
    codec_io::RgbRowFromBgr(in, out, img.width, img.bitsPerPixel / 8);
}

BMGError WritePngBody(PngWriteState* s) {
    const BMGImage& img = s->img;
    const bool indexed = img.bitsPerPixel <= 8;
    const bool palette = indexed && !WritesAsGray(img);
    const int colourType =
        indexed ? (palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_GRAY)
                : (img.bitsPerPixel == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
    png_init_io(s->png, s->file);
    png_set_IHDR(s->png, s->info, img.width, img.height, indexed ? img.bitsPerPixel : 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        const BMGError code = WritePalette(s);
        if (code != BMG_OK) return code;
    }
    png_write_info(s->png, s->info);
    s->row =
        static_cast<png_bytep>(std::malloc(codec_io::PackedRowBytes(img.bitsPerPixel, img.width)));
    if (s->row == nullptr) return BMG_ERR_NO_MEMORY;
    for (uint32_t y = img.height; y-- > 0;) {
        FillRow(img, codec_io::ImageRow(img, y), s->row);
        png_write_rows(s->png, &s->row, 1);
    }
    png_write_end(s->png, s->info);
    return BMG_OK;
}

// 16-bit rows are widened on a copy the writer owns; the caller's rows stay as they are.
BMGError WidenRgb555(PngWriteState* s) {
    BMGImage wide;
    const BMGError code = codec_io::WidenedCopy(s->img, wide);
    if (code != BMG_OK) return code;
    s->img = wide;
    s->ownPixels = wide.pixels;
    return BMG_OK;
}

BMGError FinishWrite(PngWriteState* s, BMGError code) {
    if (s->png != nullptr) {
        png_free(s->png, s->plte);
        png_destroy_write_struct(&s->png, s->info ? &s->info : nullptr);
    }
    std::free(s->row);
    std::free(s->ownPixels);
    if (s->file != nullptr && std::fclose(s->file) != 0 && code == BMG_OK)
        code = BMG_ERR_WRITE_FILE;
    return code == BMG_OK ? BMG_OK : SetLastImageError(code);
}

}  // namespace

BMGError WritePngFile(const char* filename, BMGImage img) {
    SetLastImageError(BMG_OK);
    PngWriteState state{};
    state.img = img;
    BMGError code =
        codec_io::CheckWritableImage(img, {.pixelsFirst = false, .indexedNeedsPalette = false});
    if (code != BMG_OK) return FinishWrite(&state, code);
    state.file = filename ? std::fopen(filename, "wb") : nullptr;
    if (state.file == nullptr) return FinishWrite(&state, BMG_ERR_OPEN_FILE);
    if (img.bitsPerPixel == 16 && (code = WidenRgb555(&state)) != BMG_OK)
        return FinishWrite(&state, code);
    state.png = formats::create_png_writer(nullptr);
    if (state.png != nullptr) state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) return FinishWrite(&state, BMG_ERR_NO_MEMORY);
    if (setjmp(png_jmpbuf(state.png))) code = BMG_ERR_CORRUPT_FORMAT;
    else code = WritePngBody(&state);
    return FinishWrite(&state, code);
}

}  // namespace quorvel::raster
