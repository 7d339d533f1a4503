// TTIFFGraphic: header check, the properties of a directory, the choice between the native
// decoders and the libtiff fallback, and the colour set-up. The strips are in tiff_strips.cpp.
#include "readers/formats/tiff.h"

#include <memory>

#include "readers/colour/colour_models.h"
#include "readers/reader_classes.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

using namespace tiff;

constexpr const char* kFormatName = "TIF/TIFF";
constexpr uint16_t kClassicVersion = 42;

uint8_t compression_code(uint32_t value) {
    switch (value) {
        case 1:
            return ctNone;
        case 32773:
            return ctPackedBits;
        case 3:
            return ctFax3;
        case 2:
            return ctFaxRLE;
        case 32771:
            return ctFaxRLEW;
        case 8:
        case 32946:
            return ctLZ77;
        case 7:
            return ctJPEG;
        case 32809:
            return ctThunderscan;
        case 5:
            return ctLZW;
        case 4:
            return ctFax4;
        case 6:
            return ctOJPEG;
        case 32766:
            return ctNext;
        case 32895:
            return ctIT8CTPAD;
        case 32896:
            return ctIT8LW;
        case 32897:
            return ctIT8MP;
        case 32898:
            return ctIT8BL;
        case 32908:
            return ctPixarFilm;
        case 32909:
            return ctPixarLog;
        case 32947:
            return ctDCS;
        case 34661:
            return ctJBIG;
        default:
            return ctUnknown;
    }
}

ColorModel color_scheme(uint32_t photometric, uint16_t samples) {
    switch (photometric) {
        case 0:
        case 1:
            return cmGray;
        case 2:
            return samples < 4 ? cmRGB : cmRGBA;
        case 3:
            return cmIndexed;
        case 5:
            return cmCMYK;
        case 6:
            return cmYCbCr;
        case 8:
            return cmCIELab;
        default:
            return cmNone;
    }
}

// PhotometricInterpretation as libtiff takes it, so that these decoders and the fallback show a
// file alike: a tag without exactly one value is ignored, and none means RGB from three samples
// on, else min-is-black. A palette whose ColorMap is missing or lacks exactly 3 x 2^bits values
// (which libtiff ignores) is read as such a gray image from 8 bits on, and refused below that
// (an unknown value).
uint32_t photometric_of(const Directory& directory, uint16_t samples, uint16_t bits) {
    const Entry* entry = directory.find(tagPhotometric);
    const uint32_t guess = samples >= 3 ? 2 : 1;
    const uint32_t value =
        entry != nullptr && entry->count == 1 ? directory.single(tagPhotometric, guess) : guess;
    if (value != 3 || bits > 16) return value;
    const Entry* map = directory.find(tagColorMap);
    if (map != nullptr && map->count == 3u << bits) return value;
    return bits >= 8 ? guess : 0xFFFF;
}

// Alpha when ExtraSamples is there and every value names an alpha kind or "unspecified".
bool alpha_from(const Directory& directory) {
    if (directory.find(tagExtraSamples) == nullptr) return false;
    for (uint32_t kind : directory.values(tagExtraSamples))
        if (kind > 2) return false;
    return true;
}

float resolution(const Directory& directory, uint16_t tag, uint32_t unit) {
    const std::vector<double> values = directory.rationals(tag);
    if (values.empty()) return 0;
    return static_cast<float>(unit == 3 ? values[0] * 2.54 : values[0]);
}

// The samples a pixel of the colour scheme has in the layouts read here.
unsigned colour_samples(const TTIFFProperties& p) {
    switch (p.color_scheme) {
        case cmGray:
        case cmIndexed:
            return p.has_alpha ? 2 : 1;
        case cmRGB:
        case cmCIELab:
        case cmYCbCr:
            return 3;
        default:
            return 4;  // RGBA, CMYK
    }
}

bool native_depth(unsigned bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
}

}  // namespace

bool TTIFFGraphic::can_load_stream(toolkit::Stream& stream) {
    const std::span<const uint8_t> rest = stream.rest();
    if (rest.size() <= 8) return false;
    const std::optional<Header> header = read_header(rest);
    return header && header->version == kClassicVersion && header->first_ifd < rest.size();
}

bool TTIFFGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    return read_tiff_info(stream, image_index);
}

bool TTIFFGraphic::read_tiff_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    properties_ = TTIFFProperties{};
    const std::span<const uint8_t> file = stream.rest();
    const std::optional<Header> header = read_header(file);
    if (!header) return false;
    properties_.big_endian = header->big_endian;
    properties_.version = header->version;
    if (header->version != kClassicVersion) return false;
    const std::optional<uint32_t> offset = find_directory(file, *header, image_index);
    if (!offset) return false;
    Directory directory(file, header->big_endian);
    directory.read(*offset);
    fill_properties(directory);
    return properties_.width != 0 && properties_.height != 0;
}

void TTIFFGraphic::fill_properties(const Directory& d) {
    TTIFFProperties& p = properties_;
    p.width = d.single(tagImageWidth, 0);
    p.height = d.single(tagImageLength, 0);
    p.rows_per_strip = d.values(tagRowsPerStrip);
    if (p.rows_per_strip.empty() || p.rows_per_strip[0] == 0xFFFFFFFFu)
        p.rows_per_strip = {p.height};
    p.samples_per_pixel = static_cast<uint16_t>(d.single(tagSamplesPerPixel, 1));
    p.bits_per_sample = static_cast<uint16_t>(d.single(tagBitsPerSample, 1));
    p.sample_format = static_cast<uint16_t>(d.single(tagSampleFormat, 1));
    p.bits_per_pixel = uint32_t{p.bits_per_sample} * p.samples_per_pixel;
    p.tiled = d.single(tagTileWidth, 0) != 0 && d.single(tagTileLength, 0) != 0;
    p.has_alpha = alpha_from(d);
    // TIFF 6.0: no Compression tag means no compression.
    p.compression_value = d.single(tagCompression, 1);
    p.compression = compression_code(p.compression_value);
    p.photometric = photometric_of(d, p.samples_per_pixel, p.bits_per_sample);
    p.color_scheme = color_scheme(p.photometric, p.samples_per_pixel);
    p.min_is_white = p.photometric == 0;
    if (p.photometric == 6) {
        const std::vector<uint32_t> sub = d.values(tagYCbCrSubSampling);
        if (sub.size() >= 2)
            p.ycbcr_subsampling[0] = uint8_t(sub[0]), p.ycbcr_subsampling[1] = uint8_t(sub[1]);
        p.ycbcr_positioning = static_cast<uint16_t>(d.single(tagYCbCrPositioning, 1));
        const std::vector<double> k = d.rationals(tagYCbCrCoefficients);
        if (k.size() >= 3)
            for (int i = 0; i < 3; ++i) p.ycbcr_coefficients[i] = static_cast<float>(k[i]);
    }
    p.planar_configuration = static_cast<uint16_t>(d.single(tagPlanarConfiguration, 0));
    const uint32_t unit = d.single(tagResolutionUnit, 2);
    p.x_resolution = resolution(d, tagXResolution, unit);
    p.y_resolution = resolution(d, tagYResolution, unit);
    p.predictor = static_cast<uint16_t>(d.single(tagPredictor, 0));
    p.t4_options = d.single(tagT4Options, 0);
    p.reversed_bits = d.single(tagFillOrder, 1) == 2;

    ReaderImageInfo& info = image_info();
    info.version = p.version;
    info.width = static_cast<int32_t>(std::min<uint32_t>(p.width, INT32_MAX));
    info.height = static_cast<int32_t>(std::min<uint32_t>(p.height, INT32_MAX));
    info.color_model = p.color_scheme;
    info.sample_bits = static_cast<uint8_t>(std::min<uint16_t>(p.bits_per_sample, 255));
    info.samples = static_cast<uint8_t>(std::min<uint16_t>(p.samples_per_pixel, 255));
    info.pixel_bits = static_cast<uint8_t>(std::min<uint32_t>(p.bits_per_pixel, 255));
    info.compression = p.compression;
    info.x_resolution = p.x_resolution;
    info.y_resolution = p.y_resolution;
    info.info_options = (p.big_endian ? 1u : 0u) | (p.reversed_bits ? 2u : 0u);
}

// The compression schemes with a decoder here, at the depths they are made for: the fax codings
// are bilevel and ThunderScan is 4-bit, as libtiff holds them (it refuses other depths).
bool TTIFFGraphic::compression_supported() const {
    switch (properties_.compression) {
        case ctNone:
        case ctPackedBits:
        case ctLZ77:
        case ctJPEG:
            return true;
        case ctFax3:
        case ctFaxRLE:
        case ctFaxRLEW:
            return properties_.bits_per_sample == 1;
        case ctThunderscan:
            return properties_.bits_per_sample == 4;
        default:
            return false;
    }
}

// Sample layouts the strips loop turns into the picture; libtiff is asked first for the rest.
bool TTIFFGraphic::layout_supported() const {
    const TTIFFProperties& p = properties_;
    if (p.color_scheme == cmNone || !native_depth(p.bits_per_sample) || p.samples_per_pixel > 4)
        return false;
    if (p.sample_format == 3) return false;  // floating point: libtiff's samples, scaled there
    if (p.samples_per_pixel != colour_samples(p)) return false;
    const bool gray_kind = p.color_scheme == cmGray || p.color_scheme == cmIndexed;
    if (!gray_kind && p.bits_per_sample < 8) return false;
    // Subsampled YCbCr outside JPEG comes in bands of 8-bit samples, contiguous, with the
    // factors TIFF allows (1, 2 or 4; vertical at most horizontal).
    if (reads_ycbcr_bands()) {
        const unsigned h = p.ycbcr_subsampling[0], v = p.ycbcr_subsampling[1];
        const auto allowed = [](unsigned f) { return f == 1 || f == 2 || f == 4; };
        if (p.bits_per_sample != 8 || p.planar_configuration == 2 || !allowed(h) || !allowed(v) ||
            v > h)
            return false;
    }
    return true;
}

// Sample layouts neither the strips loop nor libtiff reads, in the colour manager's words.
void TTIFFGraphic::refuse_layout(const char* format_name) const {
    const TTIFFProperties& p = properties_;
    if (reads_ycbcr_bands() && p.samples_per_pixel == 3) fail(gesInvalidImage, format_name);
    if (!native_depth(p.bits_per_sample) || p.sample_format == 3)
        throw toolkit::EColorConversionError(colour::gesInvalidColorDepth);
    if (p.color_scheme == cmNone)
        throw toolkit::EColorConversionError(colour::gesConversionUnsupported);
    throw toolkit::EColorConversionError(colour::gesInvalidSampleCount);
}

void TTIFFGraphic::load_image(toolkit::Stream& stream) { load_tiff(stream, kFormatName); }

void TTIFFGraphic::load_tiff(toolkit::Stream& stream, const char* format_name) {
    release_image();
    by_fallback_ = false;
    const size_t base = stream.position();
    const std::span<const uint8_t> file = stream.rest();
    if (!read_tiff_info(stream, 0)) {
        // Another version (BigTIFF) may still be libtiff's.
        if (properties_.version != 0 && load_fallback(file)) return;
        fail(gesInvalidImage, format_name);
    }
    stream.seek(base);
    if (properties_.tiled) {
        load_fallback(file);  // else the picture stays empty, as for every tiled file before
        return;
    }
    if (!compression_supported()) {
        if (load_fallback(file)) return;
        fail(gesNotSupported, gesCompressionScheme, format_name);
    }
    if (!layout_supported()) {
        if (load_fallback(file)) return;
        refuse_layout(format_name);
    }
    const std::optional<Header> header = read_header(file);
    Directory directory(file, header->big_endian);
    directory.read(*find_directory(file, *header, 0));
    setup_color_manager();
    setup_palette(directory, format_name);
    load_strips(directory, format_name);
}

const toolkit::GraphicClass& tiff_graphic_class() {
    return reader_class<TTIFFGraphic>("TTIFFGraphic");
}

}  // namespace quorvel::readers
