// TIFF writer on libtiff: one image, one row per strip, the compression the options choose.
#include <cstdlib>
#include <cstring>

#include "formats/palette.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/tiff_messages.h"

namespace quorvel::raster {
namespace {

constexpr uint8_t kLzwCode = 4;
constexpr uint8_t kPackBitsCode = 9;

// TIFF Compression tag value for each option code; 0 marks the refused LZW.
constexpr uint16_t kCompressionTags[] = {
    COMPRESSION_NONE,
    COMPRESSION_CCITTRLE,
    COMPRESSION_CCITTFAX3,
    COMPRESSION_CCITTFAX4,
    0,
    COMPRESSION_OJPEG,
    COMPRESSION_JPEG,
    COMPRESSION_NEXT,
    COMPRESSION_CCITTRLEW,
    COMPRESSION_PACKBITS,
    COMPRESSION_THUNDERSCAN,
    COMPRESSION_PIXARFILM,
    COMPRESSION_PIXARLOG,
    COMPRESSION_ADOBE_DEFLATE,
    COMPRESSION_DCS,
    COMPRESSION_JBIG,
};

struct TiffLayout {
    uint16_t photometric;
    uint16_t samples;
    uint16_t bitsPerSample;
    uint16_t compression;  // tag value
    int orientation;       // tag value, 0 for none
};

struct TiffWriteState {
    TIFF* tif;
    uint16_t* colourMap;  // red, green and blue arrays in one block
    uint8_t* strip;
};

bool IndexedWithPalette(const BMGImage& img) {
    return img.bitsPerPixel <= 8 && codec_io::HasPalette(img);
}

uint16_t IndexedPhotometric(const BMGImage& img) {
    if (!IndexedWithPalette(img) || codec_io::IsGrayRamp(img, false)) return PHOTOMETRIC_MINISBLACK;
    if (codec_io::IsGrayRamp(img, true)) return PHOTOMETRIC_MINISWHITE;
    return PHOTOMETRIC_PALETTE;
}

BMGError DecideLayout(const BMGImage& img, const TiffFileOptions* options, TiffLayout* layout) {
    uint8_t code = options != nullptr ? options->compression : 0;
    const uint8_t orientation = options != nullptr ? options->orientation : 0;
    if (img.bitsPerPixel <= 8) {
        layout->photometric = IndexedPhotometric(img);
        layout->samples = 1;
        layout->bitsPerSample = img.bitsPerPixel;
        if (img.bitsPerPixel == 1) code = kPackBitsCode;
    } else {
        layout->photometric = PHOTOMETRIC_RGB;
        layout->samples = img.bitsPerPixel == 32 ? 4 : 3;
        layout->bitsPerSample = 8;
    }
    if (code == kLzwCode || code >= sizeof kCompressionTags / sizeof kCompressionTags[0])
        return BMG_ERR_FORMAT_OPTION;
    layout->compression = kCompressionTags[code];
    layout->orientation =
        orientation == 0 ? ORIENTATION_TOPLEFT : (orientation == 1 ? ORIENTATION_BOTLEFT : 0);
    return BMG_OK;
}

BMGError SetColourMap(TiffWriteState* s, const BMGImage& img, const TiffLayout& layout) {
    const size_t entries = size_t{1} << layout.bitsPerSample;
    s->colourMap = static_cast<uint16_t*>(std::calloc(3 * entries, sizeof(uint16_t)));
    if (s->colourMap == nullptr) return BMG_ERR_NO_MEMORY;
    uint16_t *red = s->colourMap, *green = red + entries, *blue = green + entries;
    // The byte goes into both halves: 255 must be 65535, full intensity, for readers that
    // scale by 65535 as well as for those that keep the high byte.
    for (size_t i = 0; i < img.paletteSize && i < entries; ++i) {
        const uint8_t* entry = img.palette + i * img.paletteEntryBytes;
        red[i] = static_cast<uint16_t>(entry[2] * 257);
        green[i] = static_cast<uint16_t>(entry[1] * 257);
        blue[i] = static_cast<uint16_t>(entry[0] * 257);
    }
    TIFFSetField(s->tif, TIFFTAG_COLORMAP, red, green, blue);
    std::free(s->colourMap);
    s->colourMap = nullptr;
    return BMG_OK;
}

BMGError SetTags(TiffWriteState* s, const BMGImage& img, const TiffLayout& layout) {
    TIFF* tif = s->tif;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, img.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, img.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (layout.samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    // One row per strip, whatever strip size libtiff would suggest: the strips below are rows.
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t{1});
    if (layout.orientation != 0) TIFFSetField(tif, TIFFTAG_ORIENTATION, layout.orientation);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.photometric);
    if (layout.photometric == PHOTOMETRIC_PALETTE) return SetColourMap(s, img, layout);
    return BMG_OK;
}

void FillStrip(const BMGImage& img, const uint8_t* in, uint8_t* out, size_t scanline) {
    if (img.bitsPerPixel <= 8) {
        std::memcpy(out, in, scanline);
        return;
    }
    if (img.bitsPerPixel == 16) {
        for (uint32_t x = 0; x < img.width; ++x, in += 2, out += 3) {
            uint8_t bgr[3];
            formats::bgr_from_555(in, bgr);
            out[0] = bgr[2], out[1] = bgr[1], out[2] = bgr[0];
        }
        return;
    }
    codec_io::RgbRowFromBgr(in, out, img.width, img.bitsPerPixel / 8);
}

// libtiff answers success for schemes it can only decode (NeXT, ThunderScan, old JPEG) and
// stores an empty strip; a strip of one row is never empty when it was really encoded.
bool StripWritten(TIFF* tif, uint32_t strip) {
    uint64_t* counts = nullptr;
    return !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) || counts == nullptr ||
           counts[strip] > 0;
}

// Strip 0 is the first row the Orientation tag names: the top row for top-left (and for no
// tag), the bottom row for bottom-left.
BMGError WriteStrips(TiffWriteState* s, const BMGImage& img, const TiffLayout& layout) {
    const tmsize_t scanline = TIFFScanlineSize(s->tif);
    const tmsize_t stripSize = TIFFStripSize(s->tif);
    if (scanline <= 0 || stripSize < scanline) return BMG_ERR_WRITE_FILE;
    s->strip = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stripSize), 1));
    if (s->strip == nullptr) return BMG_ERR_NO_MEMORY;
    const bool bottomFirst = layout.orientation == ORIENTATION_BOTLEFT;
    for (uint32_t strip = 0; strip < img.height; ++strip) {
        const uint32_t row = bottomFirst ? strip : img.height - 1 - strip;
        FillStrip(img, codec_io::ImageRow(img, row), s->strip, static_cast<size_t>(scanline));
        if (TIFFWriteEncodedStrip(s->tif, strip, s->strip, stripSize) < 0 ||
            !StripWritten(s->tif, strip))
            return BMG_ERR_WRITE_FILE;
    }
    return BMG_OK;
}

BMGError FinishWrite(TiffWriteState* s, BMGError code) {
    if (s->tif != nullptr) TIFFClose(s->tif);
    std::free(s->colourMap);
    std::free(s->strip);
    return code == BMG_OK ? BMG_OK : SetLastImageError(code);
}

}  // namespace

BMGError WriteTiffFile(const char* filename, BMGImage img, const TiffFileOptions* options) {
    SetLastImageError(BMG_OK);
    TiffWriteState state{};
    TiffLayout layout{};
    BMGError code =
        codec_io::CheckWritableImage(img, {.pixelsFirst = false, .indexedNeedsPalette = false});
    if (code == BMG_OK) code = DecideLayout(img, options, &layout);
    if (code != BMG_OK) return FinishWrite(&state, code);
    state.tif = filename != nullptr ? OpenTiffFile(filename, "w") : nullptr;
    if (state.tif == nullptr) return FinishWrite(&state, BMG_ERR_NO_MEMORY);
    code = SetTags(&state, img, layout);
    if (code == BMG_OK) code = WriteStrips(&state, img, layout);
    if (code == BMG_OK && !TIFFFlush(state.tif)) code = BMG_ERR_WRITE_FILE;
    return FinishWrite(&state, code);
}

}  // namespace quorvel::raster
