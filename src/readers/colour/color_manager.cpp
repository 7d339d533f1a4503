// Settings, palettes and converter selection of the colour manager; the row converters live in
// the convert_*.cpp files beside it.
#include "readers/colour/color_manager.h"

#include <algorithm>
#include <cmath>

#include "formats/palette.h"
#include "readers/colour/colour_models.h"
#include "readers/colour/samples.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

using toolkit::EColorConversionError;
using toolkit::PixelFormat;
using namespace colour;

// Bitmap bits that hold `bits`-bit indexes or grays: 1, 4 or 8.
unsigned indexed_storage_bits(unsigned bits) { return bits == 1 ? 1 : bits <= 4 ? 4 : 8; }

// A sample depth the converters handle (1 to 16 bits); throws otherwise.
uint8_t checked_bits(uint8_t bits) {
    if (bits == 0 || bits > 16) throw EColorConversionError(gesInvalidColorDepth);
    return bits;
}

// A sample count the converters handle (1 to 4); throws otherwise.
uint8_t checked_samples(uint8_t samples) {
    if (samples == 0 || samples > 4) throw EColorConversionError(gesInvalidSampleCount);
    return samples;
}

}  // namespace

TColorManager::TColorManager() { set_gamma(2.2f); }

void TColorManager::set_source_bits_per_sample(uint8_t bits) {
    change(source_.bits, checked_bits(bits));
}

void TColorManager::set_target_bits_per_sample(uint8_t bits) {
    change(target_.bits, checked_bits(bits));
}

void TColorManager::set_source_samples_per_pixel(uint8_t samples) {
    change(source_.samples, checked_samples(samples));
}

void TColorManager::set_target_samples_per_pixel(uint8_t samples) {
    change(target_.samples, checked_samples(samples));
}

void TColorManager::set_source_color_scheme(ColorModel model) { change(source_.model, model); }

void TColorManager::set_target_color_scheme(ColorModel model) { change(target_.model, model); }

void TColorManager::set_source_options(uint32_t options) { change(source_.options, options); }

void TColorManager::set_target_options(uint32_t options) { change(target_.options, options); }

void TColorManager::set_gamma(float gamma) {
    gamma_ = gamma > 0 && std::isfinite(gamma) ? gamma : 1.0f;
    for (int i = 0; i < 256; ++i)
        gamma_table_[i] =
            static_cast<uint8_t>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / gamma_)));
    changed_ = true;
}

void TColorManager::set_ycbcr_parameters(const float coefficients[3], uint8_t horizontal,
                                         uint8_t vertical) {
    for (int i = 0; i < 3; ++i) ycbcr_coefficients_[i] = coefficients[i];
    subsampling_[0] = horizontal;
    subsampling_[1] = vertical;
    changed_ = true;
}

PixelFormat TColorManager::target_pixel_format() const {
    const unsigned bits = target_.bits, samples = target_.samples;
    if (samples == 1) {
        if (bits == 1) return PixelFormat::Bit1;
        if (bits <= 4) return PixelFormat::Bit4;
        return PixelFormat::Bit8;
    }
    if (samples == 3) return bits <= 5 ? PixelFormat::Bit15 : PixelFormat::Bit24;
    if (samples == 4 && bits >= 8) return PixelFormat::Bit32;
    return PixelFormat::Custom;
}

std::vector<RGBQUAD> TColorManager::make_gray_palette(bool min_is_white) const {
    const unsigned depth = std::min(target_.bits * target_.samples, 8);
    const unsigned n = 1u << depth;
    std::vector<RGBQUAD> palette(n);
    for (unsigned i = 0; i < n; ++i) {
        uint8_t level = formats::gray_ramp_level(i, n);
        if (gamma_requested()) level = gamma_table_[level];
        palette[min_is_white ? n - 1 - i : i] = RGBQUAD{level, level, level, 0};
    }
    return palette;
}

std::vector<RGBQUAD> TColorManager::create_color_palette(std::span<const uint8_t* const> data,
                                                         PaletteLayout layout, unsigned entries,
                                                         unsigned bits) const {
    const size_t planes = layout == PaletteLayout::Planar ? 3 : 1;
    if (data.size() < planes ||
        std::any_of(data.begin(), data.begin() + planes, [](auto p) { return !p; }))
        throw EColorConversionError(gesConversionUnsupported);
    const unsigned depth = bits == 16 ? 16 : 8;
    const bool big_endian = (source_.options & coNeedByteSwap) != 0;
    std::vector<RGBQUAD> palette(entries);
    for (unsigned i = 0; i < entries; ++i) {
        uint8_t rgb[3];
        for (unsigned c = 0; c < 3; ++c) {
            const uint8_t* plane = layout == PaletteLayout::Planar ? data[c] : data[0];
            const size_t index = layout == PaletteLayout::Planar ? i : 3 * size_t(i) + c;
            rgb[c] = colour::to8(colour::read_raw(plane, index, depth, big_endian), depth);
        }
        palette[i] = RGBQUAD{rgb[2], rgb[1], rgb[0], 0};
    }
    return palette;
}

bool TColorManager::gamma_requested() const {
    return ((source_.options | target_.options) & coApplyGamma) != 0;
}

void TColorManager::select_converter() {
    converter_ = nullptr;
    decoder_ = nullptr;
    samples_read_ = 0;
    changed_ = false;
    const bool from_indexed = colour::is_indexed_kind(source_.model);
    if (from_indexed != colour::is_indexed_kind(target_.model)) {
        changed_ = true;
        throw EColorConversionError(gesIndexedNotSupported);
    }
    if (from_indexed) {
        converter_ = &TColorManager::row_indexed;
        samples_read_ = 1;
        return;
    }
    decoder_ = colour_decoder();
    if (decoder_ != nullptr && target_pixel_bytes() != 0) converter_ = &TColorManager::row_colour;
}

void TColorManager::convert_row(std::span<const uint8_t* const> source, uint8_t* target,
                                unsigned count, uint8_t mask) {
    if (changed_) select_converter();
    const bool planar_short = source.size() > 1 && source.size() < samples_read_;
    if (converter_ == nullptr || source.empty() || planar_short || target == nullptr ||
        std::any_of(source.begin(), source.end(), [](auto p) { return !p; }))
        throw EColorConversionError(gesConversionUnsupported);
    (this->*converter_)(source, target, count, mask);
}

unsigned TColorManager::target_storage_bits() const { return indexed_storage_bits(target_.bits); }

unsigned TColorManager::target_pixel_bytes() const {
    switch (target_pixel_format()) {
        case PixelFormat::Bit15:
            return 2;
        case PixelFormat::Bit24:
            return 3;
        case PixelFormat::Bit32:
            return 4;
        default:
            return 0;
    }
}

}  // namespace quorvel::readers
