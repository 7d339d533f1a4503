// TIFF reader on libtiff. Gray and palette images keep their indexes (1, 4 or 8 bits; 2-bit
// samples widened to 4); wider gray samples (12-, 16-, 32-bit, floating point) become 8-bit
// levels. RGB and gray of 8 bits or more, contiguous or planar, floating point included, keep
// alpha unblended, and everything else libtiff can decode goes through its RGBA interface. The
// Orientation tag is honoured for all eight values unless the caller's rules say otherwise.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "formats/palette.h"
#include "formats/tiff_sizes.h"
#include "formats/tiff_glue.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "platform/limits.h"
#include "raster/codecs/tiff_messages.h"

namespace quorvel::raster {
namespace {

// Indexed: gray or palette indexes. Direct: RGB or gray samples (with or without alpha) in
// contiguous planes, read by the reader itself. Rgba: libtiff's RGBA interface.
enum class TiffPath { Indexed, Direct, Rgba };

struct TiffImageInfo {
    uint32_t width, height;
    uint16_t samples, bitsPerSample, photometric, planar, sampleFormat;
    uint16_t orientation;  // the file's
    uint16_t shown;        // the one applied to the record
    bool alpha, associatedAlpha, storedColours;
    double low, high;  // the range floating-point samples are shown over
    TiffPath path;
};

struct TiffReadState {
    BMGImage* img;
    TiffReadRules rules;
    TIFF* tif;
    uint8_t* decoded;  // file rows as stored, top row of storage first
    uint8_t* tile;
    uint8_t* canvas;  // one index byte or blue, green, red (, alpha) per pixel, stored order
    uint32_t* raster;
};

// ---- header --------------------------------------------------------------------------------

bool HasAlphaExtraSample(TIFF* tif, bool* associated) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0)
        return false;
    *associated = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
    return kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA;
}

int ColourSamples(const TiffImageInfo& info) { return info.photometric == PHOTOMETRIC_RGB ? 3 : 1; }

bool IsFloat(const TiffImageInfo& info) { return info.sampleFormat == SAMPLEFORMAT_IEEEFP; }

// Samples the reader decodes itself: unsigned integers up to 32 bits, IEEE floating point of
// 16, 32 or 64 bits (libtiff's RGBA interface takes neither floating point nor 12 bits).
bool ReadableSamples(const TiffImageInfo& info) {
    const uint16_t bits = info.bitsPerSample;
    if (IsFloat(info)) return bits == 16 || bits == 32 || bits == 64;
    return info.sampleFormat == SAMPLEFORMAT_UINT && bits >= 1 && bits <= 32;
}

TiffPath ChoosePath(const TiffImageInfo& info) {
    if (!ReadableSamples(info)) return TiffPath::Rgba;
    const uint16_t bits = info.bitsPerSample;
    const bool gray =
        info.photometric == PHOTOMETRIC_MINISBLACK || info.photometric == PHOTOMETRIC_MINISWHITE;
    const bool indexBits = !IsFloat(info) && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
    if (info.samples == 1 && indexBits && (gray || info.photometric == PHOTOMETRIC_PALETTE))
        return TiffPath::Indexed;
    if (info.samples == 1 && gray && (bits > 8 || IsFloat(info)))
        return TiffPath::Indexed;  // as 8-bit levels
    if (bits >= 8 && info.photometric == PHOTOMETRIC_RGB && info.samples >= 3)
        return TiffPath::Direct;
    if (bits >= 8 && gray && info.samples >= 2) return TiffPath::Direct;
    return TiffPath::Rgba;
}

BMGError ReadInfo(TIFF* tif, const TiffReadRules& rules, TiffImageInfo* info) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &info->width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &info->height))
        return BMG_ERR_CORRUPT_FORMAT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &info->samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &info->bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &info->planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &info->orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &info->sampleFormat);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &info->photometric))
        info->photometric = info->samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (info->orientation < ORIENTATION_TOPLEFT || info->orientation > ORIENTATION_LEFTBOT)
        info->orientation = ORIENTATION_TOPLEFT;
    info->shown = rules.apply_orientation ? info->orientation : uint16_t{ORIENTATION_TOPLEFT};
    info->storedColours = rules.stored_colours;
    if (info->width == 0 || info->height == 0) return BMG_ERR_IMAGE_SIZE;
    if (uint64_t{info->width} * info->height * 4 > platform::kMaxBlockBytes)
        return BMG_ERR_IMAGE_SIZE;
    info->alpha = HasAlphaExtraSample(tif, &info->associatedAlpha);
    info->path = ChoosePath(*info);
    if (info->path == TiffPath::Direct)
        info->alpha = info->alpha && info->samples >= ColourSamples(*info) + 1;
    return BMG_OK;
}

// ---- decoding strips and tiles into stored rows ---------------------------------------------

// Planes the stored rows come in (one per sample for PlanarConfiguration 2, one after
// another in the decoded buffer), and the samples of one pixel in each.
unsigned StoredPlanes(const TiffImageInfo& info) {
    return info.planar == PLANARCONFIG_SEPARATE ? info.samples : 1;
}
unsigned PlaneSamples(const TiffImageInfo& info) { return info.samples / StoredPlanes(info); }

// Bytes of one stored row of one plane.
uint64_t StoredScanline(const TiffImageInfo& info) {
    return (uint64_t{info.width} * info.bitsPerSample * PlaneSamples(info) + 7) / 8;
}

BMGError DecodeStrips(TiffReadState* s, const TiffImageInfo& info, size_t scanline) {
    uint32_t rowsPerStrip = info.height;
    TIFFGetFieldDefaulted(s->tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > info.height) rowsPerStrip = info.height;
    for (unsigned plane = 0; plane < StoredPlanes(info); ++plane) {
        uint8_t* rows_of_plane = s->decoded + scanline * info.height * plane;
        for (uint32_t row = 0; row < info.height; row += rowsPerStrip) {
            const uint32_t rows =
                info.height - row < rowsPerStrip ? info.height - row : rowsPerStrip;
            const tstrip_t strip = TIFFComputeStrip(s->tif, row, static_cast<uint16_t>(plane));
            if (TIFFReadEncodedStrip(s->tif, strip, rows_of_plane + scanline * row,
                                     static_cast<tmsize_t>(scanline * rows)) < 0)
                return BMG_ERR_READ_FILE;
        }
    }
    return BMG_OK;
}

void PlaceTile(TiffReadState* s, const TiffImageInfo& info, size_t scanline, unsigned plane,
               uint32_t x0, uint32_t y0, uint32_t tileHeight, size_t tileRowBytes) {
    uint8_t* rows_of_plane = s->decoded + scanline * info.height * plane;
    const size_t offset = static_cast<size_t>(x0) * info.bitsPerSample * PlaneSamples(info) / 8;
    const size_t bytes = scanline - offset < tileRowBytes ? scanline - offset : tileRowBytes;
    for (uint32_t y = 0; y < tileHeight && y0 + y < info.height; ++y)
        std::memcpy(rows_of_plane + scanline * (y0 + y) + offset, s->tile + tileRowBytes * y,
                    bytes);
}

BMGError DecodeTiles(TiffReadState* s, const TiffImageInfo& info, size_t scanline) {
    uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(s->tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(s->tif, TIFFTAG_TILELENGTH, &tileHeight);
    const tmsize_t tileSize = TIFFTileSize(s->tif);
    const tmsize_t tileRowBytes = TIFFTileRowSize(s->tif);
    if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0 || tileRowBytes <= 0 ||
        static_cast<uint64_t>(tileRowBytes) * tileHeight > static_cast<uint64_t>(tileSize))
        return BMG_ERR_CORRUPT_FORMAT;
    s->tile = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(tileSize)));
    if (s->tile == nullptr) return BMG_ERR_NO_MEMORY;
    for (unsigned plane = 0; plane < StoredPlanes(info); ++plane)
        for (uint32_t y = 0; y < info.height; y += tileHeight)
            for (uint32_t x = 0; x < info.width; x += tileWidth) {
                const ttile_t tile = TIFFComputeTile(s->tif, x, y, 0, static_cast<uint16_t>(plane));
                if (TIFFReadEncodedTile(s->tif, tile, s->tile, tileSize) < 0)
                    return BMG_ERR_READ_FILE;
                PlaceTile(s, info, scanline, plane, x, y, tileHeight,
                          static_cast<size_t>(tileRowBytes));
            }
    return BMG_OK;
}

BMGError DecodeStoredRows(TiffReadState* s, const TiffImageInfo& info) {
    const uint64_t scanline = StoredScanline(info);
    if (scanline * info.height * StoredPlanes(info) > platform::kMaxBlockBytes)
        return BMG_ERR_IMAGE_SIZE;
    s->decoded = static_cast<uint8_t*>(std::calloc(scanline * StoredPlanes(info), info.height));
    if (s->decoded == nullptr) return BMG_ERR_NO_MEMORY;
    return TIFFIsTiled(s->tif) ? DecodeTiles(s, info, scanline) : DecodeStrips(s, info, scanline);
}

// ---- stored rows into the canvas --------------------------------------------------------------

// A 16-bit value in 8 bits: its high byte. Writers store 8-bit values either as v * 257 or as
// v * 256 (colour maps often are); the high byte gives v back for both.
unsigned To8Bits(unsigned value) { return value >> 8; }

// Sample `index` of a row as libtiff hands it: 16-, 24-, 32- and 64-bit samples in host
// order, other widths packed most significant bit first.
uint64_t RawSample(const uint8_t* row, size_t index, unsigned bits) {
    const uint8_t* at = row + index * bits / 8;
    switch (bits) {
        case 8:
            return *at;
        case 16: {
            uint16_t v;
            std::memcpy(&v, at, 2);
            return v;
        }
        case 32: {
            uint32_t v;
            std::memcpy(&v, at, 4);
            return v;
        }
        case 64: {
            uint64_t v;
            std::memcpy(&v, at, 8);
            return v;
        }
        case 24: {
            const bool little = std::endian::native == std::endian::little;
            return little ? at[0] | at[1] << 8 | at[2] << 16 : at[0] << 16 | at[1] << 8 | at[2];
        }
        default:
            break;
    }
    uint64_t value = 0;
    for (size_t bit = index * bits, end = bit + bits; bit < end; ++bit)
        value = value << 1 | ((row[bit / 8] >> (7 - bit % 8)) & 1u);
    return value;
}

double HalfFloat(uint16_t h) {
    const int exponent = (h >> 10) & 31, mantissa = h & 1023;
    const double v = exponent == 0    ? std::ldexp(mantissa, -24)
                     : exponent == 31 ? (mantissa != 0 ? NAN : INFINITY)
                                      : std::ldexp(mantissa + 1024, exponent - 25);
    return (h & 0x8000) != 0 ? -v : v;
}

double FloatSample(const uint8_t* row, size_t index, unsigned bits) {
    const uint64_t raw = RawSample(row, index, bits);
    if (bits == 16) return HalfFloat(static_cast<uint16_t>(raw));
    if (bits == 32) return std::bit_cast<float>(static_cast<uint32_t>(raw));
    return std::bit_cast<double>(raw);
}

// A sample as an 8-bit level: indexes and samples up to 8 bits as stored, wider integers
// their 8 high bits, floating point placed in the picture's range (NaN shows as 0).
unsigned Sample(const uint8_t* row, size_t index, const TiffImageInfo& info) {
    const unsigned bits = info.bitsPerSample;
    if (IsFloat(info)) {
        const double v = (FloatSample(row, index, bits) - info.low) / (info.high - info.low);
        return v > 0 ? (v < 1 ? static_cast<unsigned>(v * 255 + 0.5) : 255u) : 0u;
    }
    const uint64_t v = RawSample(row, index, bits);
    return static_cast<unsigned>(bits > 8 ? v >> (bits - 8) : v);
}

// SMinSampleValue to SMaxSampleValue when the file gives them; else 0 to 1, the usual range of
// such samples, when every sample lies in it; else 0 to 255 (8-bit levels stored as floating
// point) when every sample does; else the samples' own smallest to largest.
void FindFloatRange(TIFF* tif, const uint8_t* decoded, size_t count, TiffImageInfo& info) {
    double low = 0, high = 0;
    if (TIFFGetField(tif, TIFFTAG_SMINSAMPLEVALUE, &low) &&
        TIFFGetField(tif, TIFFTAG_SMAXSAMPLEVALUE, &high) && high > low) {
        info.low = low, info.high = high;
        return;
    }
    low = 0, high = 0;
    for (size_t i = 0; i < count; ++i) {
        const double v = FloatSample(decoded, i, info.bitsPerSample);
        if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    }
    info.low = low < 0 ? low : 0;
    info.high = low >= 0 && high <= 1 ? 1 : low >= 0 && high <= 255 ? 255 : high;
    if (info.high <= info.low) info.high = info.low + 1;
}

uint8_t Unassociate(unsigned value, unsigned alpha) {
    if (alpha == 0) return 0;
    const unsigned plain = (value * 255 + alpha / 2) / alpha;
    return static_cast<uint8_t>(plain > 255 ? 255 : plain);
}

// Sample `c` of pixel `x` of stored row `y`, contiguous or planar, as an 8-bit level.
unsigned StoredSample(const TiffReadState* s, const TiffImageInfo& info, uint32_t x, uint32_t y,
                      unsigned c) {
    const size_t scanline = StoredScanline(info);
    if (StoredPlanes(info) > 1)
        return Sample(s->decoded + scanline * (size_t{info.height} * c + y), x, info);
    return Sample(s->decoded + scanline * y, size_t{x} * info.samples + c, info);
}

void FillCanvas(TiffReadState* s, const TiffImageInfo& info, int pixelBytes) {
    uint8_t* out = s->canvas;
    for (uint32_t y = 0; y < info.height; ++y) {
        for (uint32_t x = 0; x < info.width; ++x, out += pixelBytes) {
            if (info.path == TiffPath::Indexed) {
                out[0] = static_cast<uint8_t>(StoredSample(s, info, x, y, 0));
                continue;
            }
            const unsigned colours = static_cast<unsigned>(ColourSamples(info));
            const unsigned alpha = pixelBytes == 4 ? StoredSample(s, info, x, y, colours) : 255;
            const bool divide = info.associatedAlpha && !info.storedColours;
            for (unsigned c = 0; c < 3; ++c) {
                unsigned value = StoredSample(s, info, x, y, colours == 3 ? 2 - c : 0);
                if (info.photometric == PHOTOMETRIC_MINISWHITE) value = 255 - value;
                out[c] = divide ? Unassociate(value, alpha) : static_cast<uint8_t>(value);
            }
            if (pixelBytes == 4) out[3] = static_cast<uint8_t>(alpha);
        }
    }
}

// libtiff's RGBA interface, asked for the rows in stored order (its requested orientation equal
// to the file's), so that the Orientation tag is applied in one place for every path. It hands
// colours premultiplied by alpha; they are divided back, except that associated alpha keeps
// the stored colours when the rules ask for them.
BMGError DecodeRgba(TiffReadState* s, const TiffImageInfo& info, int pixelBytes) {
    char message[1024];
    if (!TIFFRGBAImageOK(s->tif, message)) return BMG_ERR_FORMAT_OPTION;
    s->raster =
        static_cast<uint32_t*>(std::malloc(size_t{info.width} * info.height * sizeof(uint32_t)));
    if (s->raster == nullptr) return BMG_ERR_NO_MEMORY;
    if (!TIFFReadRGBAImageOriented(s->tif, info.width, info.height, s->raster, info.orientation, 0))
        return BMG_ERR_READ_FILE;
    const size_t count = size_t{info.width} * info.height;
    const bool divide = pixelBytes == 4 && !(info.associatedAlpha && info.storedColours);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = s->raster[i];
        uint8_t* out = s->canvas + i * pixelBytes;
        const unsigned alpha = TIFFGetA(v);
        const unsigned bgr[3] = {TIFFGetB(v), TIFFGetG(v), TIFFGetR(v)};
        for (int c = 0; c < 3; ++c)
            out[c] = divide ? Unassociate(bgr[c], alpha) : static_cast<uint8_t>(bgr[c]);
        if (pixelBytes == 4) out[3] = static_cast<uint8_t>(alpha);
    }
    return BMG_OK;
}

// ---- the record --------------------------------------------------------------------------------

int CanvasPixelBytes(const TiffImageInfo& info) {
    if (info.path == TiffPath::Indexed) return 1;
    return info.alpha ? 4 : 3;
}

bool SwapsAxes(uint16_t orientation) { return orientation >= ORIENTATION_LEFTTOP; }

// How each orientation (1 to 8; 0 stands for any other) maps a shown pixel to a stored one:
// whether the axes swap, and whether the stored column and row run backwards.
struct OrientationMap {
    bool swap, mirror_column, mirror_row;
};
constexpr OrientationMap kOrientationMaps[] = {
    {false, false, false},  // none
    {false, false, false},  // ORIENTATION_TOPLEFT
    {false, true, false},   // ORIENTATION_TOPRIGHT
    {false, true, true},    // ORIENTATION_BOTRIGHT
    {false, false, true},   // ORIENTATION_BOTLEFT
    {true, false, false},   // ORIENTATION_LEFTTOP
    {true, false, true},    // ORIENTATION_RIGHTTOP
    {true, true, true},     // ORIENTATION_RIGHTBOT
    {true, true, false},    // ORIENTATION_LEFTBOT
};

// The stored pixel shown at column x, row y (top row 0) of the picture.
size_t StoredPixel(const TiffImageInfo& info, uint32_t x, uint32_t y) {
    const uint32_t w = info.width, h = info.height;
    const OrientationMap& map =
        kOrientationMaps[info.shown <= ORIENTATION_LEFTBOT ? info.shown : 0];
    const uint32_t across = map.swap ? y : x, down = map.swap ? x : y;
    const uint32_t column = map.mirror_column ? w - 1 - across : across;
    const uint32_t row = map.mirror_row ? h - 1 - down : down;
    return size_t{row} * w + column;
}

uint8_t RecordDepth(const TiffImageInfo& info) {
    if (info.path != TiffPath::Indexed) return info.alpha ? 32 : 24;
    if (info.bitsPerSample == 2) return 4;
    return static_cast<uint8_t>(info.bitsPerSample > 8 ? 8 : info.bitsPerSample);
}

void FillColourMap(TIFF* tif, BMGImage* img) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return;
    const size_t n = img->paletteSize;
    const bool eightBit = formats::colour_map_is_8bit(std::span(red, n)) &&
                          formats::colour_map_is_8bit(std::span(green, n)) &&
                          formats::colour_map_is_8bit(std::span(blue, n));
    const auto scale = [eightBit](uint16_t v) {
        return static_cast<uint8_t>(eightBit ? v : To8Bits(v));
    };
    for (unsigned i = 0; i < img->paletteSize; ++i) {
        uint8_t* entry = img->palette + i * img->paletteEntryBytes;
        entry[0] = scale(blue[i]);
        entry[1] = scale(green[i]);
        entry[2] = scale(red[i]);
    }
}

void FillPalette(TiffReadState* s, const TiffImageInfo& info) {
    BMGImage* img = s->img;
    if (info.photometric == PHOTOMETRIC_PALETTE) {
        FillColourMap(s->tif, img);
        return;
    }
    codec_io::FillGrayRamp(*img, info.photometric == PHOTOMETRIC_MINISWHITE);
}

BMGError AllocateRecord(TiffReadState* s, const TiffImageInfo& info) {
    BMGImage* img = s->img;
    const bool swap = SwapsAxes(info.shown);
    img->width = swap ? info.height : info.width;
    img->height = swap ? info.width : info.height;
    img->bitsPerPixel = RecordDepth(info);
    if (info.path == TiffPath::Indexed) {
        const unsigned bits = info.bitsPerSample > 8 ? 8 : info.bitsPerSample;
        img->paletteSize = static_cast<uint16_t>(1u << bits);
        img->paletteEntryBytes = img->dibLayout > 0 ? 4 : 3;
    }
    const BMGError code = AllocateImageRecord(img);
    if (code == BMG_OK && info.path == TiffPath::Indexed) FillPalette(s, info);
    return code;
}

void StoreIndex(uint8_t* row, uint32_t x, unsigned depth, uint8_t index) {
    if (depth == 8) {
        row[x] = index;
        return;
    }
    const size_t bit = size_t{x} * depth;
    row[bit / 8] |= static_cast<uint8_t>((index & ((1u << depth) - 1)) << (8 - depth - bit % 8));
}

// Canvas pixels into the record, picture rows bottom-up, through the orientation.
void StoreCanvas(TiffReadState* s, const TiffImageInfo& info, int pixelBytes) {
    BMGImage* img = s->img;
    for (uint32_t y = 0; y < img->height; ++y) {
        uint8_t* row = codec_io::ImageRow(*img, img->height - 1 - y);
        for (uint32_t x = 0; x < img->width; ++x) {
            const uint8_t* in = s->canvas + StoredPixel(info, x, y) * pixelBytes;
            if (info.path == TiffPath::Indexed) StoreIndex(row, x, img->bitsPerPixel, in[0]);
            else std::memcpy(row + size_t{x} * pixelBytes, in, pixelBytes);
        }
    }
}

// libtiff sizes the picture from the tags alone, and its RGBA interface leaves missing strips
// and tiles blank: the blocks are checked against the file first.
bool BlocksPlausible(TIFF* tif, const TiffImageInfo& info) {
    formats::TiffBlocks b;
    b.file_size = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
    b.width = info.width;
    b.height = info.height;
    b.tiled = TIFFIsTiled(tif) != 0;
    if (b.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &b.block_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &b.block_height);
    } else {
        b.block_width = info.width;
        b.block_height = info.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &b.block_height);
        if (b.block_height == 0 || b.block_height > info.height) b.block_height = info.height;
    }
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    b.compression = compression;
    b.planes = info.planar == PLANARCONFIG_SEPARATE ? info.samples : 1;
    b.bits_per_pixel = double(info.bitsPerSample) * (b.planes > 1 ? 1 : info.samples);
    uint16_t h = 1, v = 1;
    if (info.photometric == PHOTOMETRIC_YCBCR && compression != COMPRESSION_JPEG && b.planes == 1 &&
        TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v) && h > 0 && v > 0)
        b.bits_per_pixel =
            info.bitsPerSample * (h * v + 2.0) / (h * v);  // H x V lumas, two chromas
    const uint32_t blocks = b.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (uint32_t i = 0; i < blocks; ++i) {
        b.offsets.push_back(TIFFGetStrileOffset(tif, i));
        b.counts.push_back(TIFFGetStrileByteCount(tif, i));
    }
    b.head = [tif, tiled = b.tiled](size_t index) {
        std::vector<uint8_t> head(4096);
        const auto strile = static_cast<uint32_t>(index);
        const tmsize_t n = tiled
                               ? TIFFReadRawTile(tif, strile, head.data(), tmsize_t(head.size()))
                               : TIFFReadRawStrip(tif, strile, head.data(), tmsize_t(head.size()));
        head.resize(n > 0 ? size_t(n) : 0);
        return head;
    };
    return formats::tiff_blocks_plausible(b);
}

BMGError ReadTiffBody(TiffReadState* s) {
    TiffImageInfo info{};
    BMGError code = ReadInfo(s->tif, s->rules, &info);
    if (code != BMG_OK) return code;
    const int pixelBytes = CanvasPixelBytes(info);
    // The record is checked against the load limits again when it is made; the canvas and
    // libtiff's buffers come first and are as large.
    if ((code = CheckImageLimits(info.width, info.height,
                                 uint64_t{info.width} * info.height * pixelBytes)) != BMG_OK)
        return code;
    if (!BlocksPlausible(s->tif, info)) return BMG_ERR_IMAGE_SIZE;
    s->canvas = static_cast<uint8_t*>(std::malloc(size_t{info.width} * info.height * pixelBytes));
    if (s->canvas == nullptr) return BMG_ERR_NO_MEMORY;
    if (info.path == TiffPath::Rgba) {
        code = DecodeRgba(s, info, pixelBytes);
    } else if ((code = DecodeStoredRows(s, info)) == BMG_OK) {
        if (IsFloat(info))
            FindFloatRange(s->tif, s->decoded, size_t{info.width} * info.height * info.samples,
                           info);
        FillCanvas(s, info, pixelBytes);
    }
    if (code == BMG_OK) code = AllocateRecord(s, info);
    if (code == BMG_OK) StoreCanvas(s, info, pixelBytes);
    return code;
}

// The four byte-order and version marks a TIFF (or BigTIFF) file starts with.
BMGError CheckSignature(const char* filename) {
    FILE* file = std::fopen(filename, "rb");
    if (file == nullptr) return BMG_ERR_OPEN_FILE;
    unsigned char mark[4];
    const bool complete = std::fread(mark, 1, 4, file) == 4;
    std::fclose(file);
    if (!complete) return BMG_ERR_FORMAT_OPTION;
    const bool little =
        mark[0] == 'I' && mark[1] == 'I' && (mark[2] == 42 || mark[2] == 43) && mark[3] == 0;
    const bool big =
        mark[0] == 'M' && mark[1] == 'M' && mark[2] == 0 && (mark[3] == 42 || mark[3] == 43);
    return little || big ? BMG_OK : BMG_ERR_FORMAT_OPTION;
}

BMGError FinishRead(TiffReadState* s, BMGError code) {
    if (s->tif != nullptr) TIFFClose(s->tif);
    std::free(s->decoded);
    std::free(s->tile);
    std::free(s->canvas);
    std::free(s->raster);
    if (code == BMG_OK) return BMG_OK;
    ReleaseImageRecord(s->img);
    return SetLastImageError(code);
}

bool HasTiffSignature(const uint8_t* mark) {
    const bool little =
        mark[0] == 'I' && mark[1] == 'I' && (mark[2] == 42 || mark[2] == 43) && mark[3] == 0;
    const bool big =
        mark[0] == 'M' && mark[1] == 'M' && mark[2] == 0 && (mark[3] == 42 || mark[3] == 43);
    return little || big;
}

}  // namespace

BMGError ReadTiffMemory(const uint8_t* data, size_t size, BMGImage* img,
                        const TiffReadRules& rules) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    TiffReadState state{};
    state.img = img;
    state.rules = rules;
    if (data == nullptr || size < 8 || !HasTiffSignature(data))
        return FinishRead(&state, BMG_ERR_FORMAT_OPTION);
    formats::TiffMemoryFile file{data, size, 0};
    state.tif = formats::open_tiff_memory(&file);  // silent: failures are reported by code
    if (state.tif == nullptr) return FinishRead(&state, BMG_ERR_CORRUPT_FORMAT);
    return FinishRead(&state, ReadTiffBody(&state));
}

BMGError ReadTiffFile(const char* filename, BMGImage* img, void* /*options: carried, not used*/) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    TiffReadState state{};
    state.img = img;
    BMGError code = filename != nullptr ? CheckSignature(filename) : BMG_ERR_OPEN_FILE;
    if (code != BMG_OK) return FinishRead(&state, code);
    state.tif = OpenTiffFile(filename, "r");
    if (state.tif == nullptr) return FinishRead(&state, BMG_ERR_CORRUPT_FORMAT);
    return FinishRead(&state, ReadTiffBody(&state));
}

}  // namespace quorvel::raster
