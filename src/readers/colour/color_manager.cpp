#include "readers/colour/color_manager.h"

#include <cmath>

#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

using toolkit::EColorConversionError;
using toolkit::PixelFormat;

constexpr const char* gesInvalidColorDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
constexpr const char* gesInvalidSampleCount = "Sample count per pixel does not correspond to the given color scheme.";
constexpr const char* gesIndexedNotSupported =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
constexpr const char* gesConversionUnsupported = "Color conversion failed. Could not find a proper method.";

bool is_indexed_kind(ColorModel model) { return model == cmIndexed || model == cmGray || model == cmGrayAlpha; }

bool has_alpha_model(ColorModel model) { return model == cmGrayAlpha || model == cmRGBA || model == cmBGRA; }

bool is_rgb_kind(ColorModel model) { return model == cmRGB || model == cmRGBA; }

bool is_bgr_kind(ColorModel model) { return model == cmBGR || model == cmBGRA; }

bool pixel_selected(uint8_t mask, unsigned x) { return (mask & (0x80 >> (x % 8))) != 0; }

// Sample `i` of an interleaved or planar source at `bits` bits (16-bit samples reduced to
// their high byte, in the byte order the options give).
uint8_t sample8(const uint8_t* data, size_t index, unsigned bits, bool swap) {
    if (bits == 16) return swap ? data[2 * index] : data[2 * index + 1];
    return data[index];
}

// A `bits`-bit value packed most significant first.
unsigned packed_value(const uint8_t* row, size_t index, unsigned bits) {
    if (bits == 8) return row[index];
    const size_t bit = index * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

void store_packed(uint8_t* row, size_t index, unsigned bits, unsigned value) {
    if (bits == 8) {
        row[index] = static_cast<uint8_t>(value);
        return;
    }
    const size_t bit = index * bits;
    const unsigned shift = 8 - bits - bit % 8;
    const unsigned field = ((1u << bits) - 1) << shift;
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~field) | ((value << shift) & field));
}

}  // namespace

TColorManager::TColorManager() { set_gamma(2.2f); }

void TColorManager::set_source_bits_per_sample(uint8_t bits) {
    if (bits == 0 || bits > 16) throw EColorConversionError(gesInvalidColorDepth);
    source_.bits = bits;
    changed_ = true;
}

void TColorManager::set_target_bits_per_sample(uint8_t bits) {
    if (bits == 0 || bits > 16) throw EColorConversionError(gesInvalidColorDepth);
    target_.bits = bits;
    changed_ = true;
}

void TColorManager::set_source_samples_per_pixel(uint8_t samples) {
    if (samples == 0 || samples > 4) throw EColorConversionError(gesInvalidSampleCount);
    source_.samples = samples;
    changed_ = true;
}

void TColorManager::set_target_samples_per_pixel(uint8_t samples) {
    if (samples == 0 || samples > 4) throw EColorConversionError(gesInvalidSampleCount);
    target_.samples = samples;
    changed_ = true;
}

void TColorManager::set_source_color_scheme(ColorModel model) {
    source_.model = model;
    changed_ = true;
}

void TColorManager::set_target_color_scheme(ColorModel model) {
    target_.model = model;
    changed_ = true;
}

void TColorManager::set_source_options(uint32_t options) {
    source_.options = options;
    changed_ = true;
}

void TColorManager::set_target_options(uint32_t options) {
    target_.options = options;
    changed_ = true;
}

void TColorManager::set_gamma(float gamma) {
    gamma_ = gamma > 0 ? gamma : 1.0f;
    for (int i = 0; i < 256; ++i)
        gamma_table_[i] = static_cast<uint8_t>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / gamma_)));
    changed_ = true;
}

void TColorManager::set_ycbcr_parameters(const float coefficients[3], uint8_t horizontal, uint8_t vertical) {
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
    const bool gamma = (source_.options & coApplyGamma) != 0;
    std::vector<RGBQUAD> palette(n);
    for (unsigned i = 0; i < n; ++i) {
        uint8_t level = static_cast<uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
        if (gamma) level = gamma_table_[level];
        palette[min_is_white ? n - 1 - i : i] = RGBQUAD{level, level, level, 0};
    }
    return palette;
}

std::vector<RGBQUAD> TColorManager::create_color_palette(std::span<const uint8_t* const> data, PaletteLayout layout,
                                                         unsigned entries, unsigned bits) const {
    std::vector<RGBQUAD> palette(entries);
    const bool swap = (source_.options & coNeedByteSwap) != 0;
    for (unsigned i = 0; i < entries; ++i) {
        uint8_t rgb[3];
        for (unsigned c = 0; c < 3; ++c) {
            const uint8_t* plane = layout == PaletteLayout::Planar ? data[c] : data[0];
            const size_t index = layout == PaletteLayout::Planar ? i : 3 * i + c;
            rgb[c] = sample8(plane, index, bits, swap);
        }
        palette[i] = RGBQUAD{rgb[2], rgb[1], rgb[0], 0};
    }
    return palette;
}

void TColorManager::select_converter() {
    const ColorModel from = source_.model, to = target_.model;
    if (is_indexed_kind(from) != is_indexed_kind(to)) throw EColorConversionError(gesIndexedNotSupported);
    converter_ = nullptr;
    if (is_indexed_kind(from) && from != cmGrayAlpha)
        converter_ = &TColorManager::row_indexed;
    else if ((is_rgb_kind(from) || is_bgr_kind(from)) && (is_rgb_kind(to) || is_bgr_kind(to)))
        converter_ = &TColorManager::row_rgb;
    changed_ = false;
}

void TColorManager::convert_row(std::span<const uint8_t* const> source, uint8_t* target, unsigned count,
                                uint8_t mask) {
    if (changed_) select_converter();
    if (converter_ == nullptr || source.empty()) throw EColorConversionError(gesConversionUnsupported);
    (this->*converter_)(source, target, count, mask);
}

// Indexes and gray levels re-packed between 1, 2, 4, 8 and 16 bits; a 16-bit source keeps its
// high byte, a wider target scales up.
void TColorManager::row_indexed(std::span<const uint8_t* const> source, uint8_t* target, unsigned count,
                                uint8_t mask) {
    const unsigned in_bits = source_.bits;
    const unsigned out_bits = static_cast<unsigned>(toolkit::storage_bits(target_pixel_format()));
    const bool swap = (source_.options & coNeedByteSwap) != 0;
    const bool gray = source_.model == cmGray;
    for (unsigned x = 0; x < count; ++x) {
        if (!pixel_selected(mask, x)) continue;
        unsigned value = in_bits == 16 ? sample8(source[0], x, 16, swap) : packed_value(source[0], x, in_bits);
        const unsigned value_bits = in_bits == 16 ? 8 : in_bits;
        if (gray && value_bits != out_bits)
            value = value * ((1u << out_bits) - 1) / ((1u << value_bits) - 1);
        store_packed(target, x, out_bits, value);
    }
}

// RGB(A) or BGR(A), planar or interleaved, 8 or 16 bits, to 8-bit RGB(A) or BGR(A).
void TColorManager::row_rgb(std::span<const uint8_t* const> source, uint8_t* target, unsigned count,
                            uint8_t mask) {
    const bool swap = (source_.options & coNeedByteSwap) != 0;
    const bool planar = source.size() > 1;
    const unsigned in_samples = source_.samples, bits = source_.bits;
    const bool in_alpha = has_alpha_model(source_.model) && in_samples >= 4;
    const bool out_alpha = has_alpha_model(target_.model);
    const bool reverse = is_rgb_kind(source_.model) != is_rgb_kind(target_.model);
    const unsigned out_samples = out_alpha ? 4 : 3;
    const bool gamma = (source_.options & coApplyGamma) != 0;
    for (unsigned x = 0; x < count; ++x) {
        if (!pixel_selected(mask, x)) continue;
        uint8_t s[4] = {0, 0, 0, 255};
        for (unsigned c = 0; c < (in_alpha ? 4u : 3u); ++c)
            s[c] = planar ? sample8(source[c], x, bits, swap) : sample8(source[0], size_t(x) * in_samples + c, bits, swap);
        if (gamma)
            for (unsigned c = 0; c < 3; ++c) s[c] = gamma_table_[s[c]];
        uint8_t* out = target + size_t(x) * out_samples;
        out[0] = reverse ? s[2] : s[0];
        out[1] = s[1];
        out[2] = reverse ? s[0] : s[2];
        if (out_alpha) out[3] = s[3];
    }
}

}  // namespace quorvel::readers
