// The colour manager every extended reader owns: it turns decoded rows of any of the file
// formats' sample layouts (bit depth, sample count, colour model, planar or interleaved, byte
// order, gamma) into rows of the toolkit bitmap's pixel format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <quorvel/wingdi.h>

#include "readers/image_info.h"
#include "toolkit/bitmap.h"

namespace quorvel::readers {

// Option bits of the source and target sides.
enum ConversionOption : uint32_t {
    coAlpha = 1,         // the samples carry alpha
    coApplyGamma = 2,    // pass samples through the gamma table
    coNeedByteSwap = 4,  // 16-bit samples are big-endian
    coLabByteRange = 8,  // CIE L*a*b*: a* and b* are signed bytes
};

// How the samples of a colour map are laid out.
enum class PaletteLayout {
    Planar,       // all reds, then all greens, then all blues (one pointer per plane)
    Interleaved,  // red, green, blue per entry (one pointer)
};

class TColorManager {
public:
    TColorManager();

    // 1, 2, 4, 8 or 16 (others up to 16 are accepted where a converter exists); 0 or more
    // than 16 throws EColorConversionError "Color depth is invalid. ...".
    void set_source_bits_per_sample(uint8_t bits);
    void set_target_bits_per_sample(uint8_t bits);
    // 1 to 4; 0 or more than 4 throws "Sample count per pixel does not correspond ...".
    void set_source_samples_per_pixel(uint8_t samples);
    void set_target_samples_per_pixel(uint8_t samples);
    void set_source_color_scheme(ColorModel model);
    void set_target_color_scheme(ColorModel model);
    void set_source_options(uint32_t options);
    void set_target_options(uint32_t options);
    // The file's gamma; the table maps a sample s to 255 * (s / 255)^(1 / gamma). With
    // coApplyGamma (on either side) colour rows pass through the table; indexed and gray rows
    // keep their values and make_gray_palette applies it instead, so it acts once.
    void set_gamma(float gamma);
    // YCbCr luma coefficients and the chroma subsampling factors.
    void set_ycbcr_parameters(const float coefficients[3], uint8_t horizontal, uint8_t vertical);

    uint8_t source_bits_per_sample() const { return source_.bits; }
    uint8_t target_bits_per_sample() const { return target_.bits; }
    uint8_t source_samples_per_pixel() const { return source_.samples; }
    uint8_t target_samples_per_pixel() const { return target_.samples; }
    ColorModel source_color_scheme() const { return source_.model; }
    ColorModel target_color_scheme() const { return target_.model; }
    uint32_t source_options() const { return source_.options; }
    uint32_t target_options() const { return target_.options; }

    // The bitmap format for the target's samples and bits.
    toolkit::PixelFormat target_pixel_format() const;

    // Converts `count` pixels. `source` holds one pointer per plane for planar data (as many
    // as the source has samples), or one pointer for interleaved data; each holds the bytes of
    // `count` samples (planar) or pixels (interleaved) at the source's bits, 16-bit samples in
    // the order coNeedByteSwap gives (5-bit colour samples: one 5-5-5 word a pixel, red in
    // bits 10-14, the alpha bit 15). `target` receives `count` pixels in the layout of
    // target_pixel_format(): indexes and grays packed at 1, 4 or 8 bits most significant first,
    // colours as 3 or 4 bytes in the target model's order (2 for a 15-bit target; a 4th byte is
    // alpha, 255 where the source has none). `mask` serves interlaced images: `count` is then the
    // number of target pixels the row spans, bit 7 of the mask selects the first pixel of each
    // group of 8, and the source holds only the selected pixels, one after another (the row of an
    // interlace pass); unselected target pixels are left as they are. 0xFF converts every
    // pixel. Selects the converter first when a setting changed; throws EColorConversionError when
    // there is none.
    void convert_row(std::span<const uint8_t* const> source, uint8_t* target, unsigned count,
                     uint8_t mask = 0xFF);

    // Subsampled YCbCr (8-bit samples) as TIFF 6.0 packs it: a band covers V image rows (V
    // the vertical subsampling factor) and holds, for each block of H x V pixels from left to
    // right (ceil(width / H) blocks), H * V luma samples row by row, then one Cb and one Cr.
    // ycbcr_band_bytes(width) is the size of a full band; a shorter band converts as if the
    // missing samples were 0. Writes `targets.size()` (at most V; the image's last band may
    // cover fewer rows) full rows of `width` pixels, target r receiving band row r, through
    // the YCbCr converter into the layout convert_row writes. The source model must be
    // YCbCr with 3 samples of 8 bits; otherwise throws EColorConversionError.
    void convert_ycbcr_band(std::span<const uint8_t> band, unsigned width,
                            std::span<uint8_t* const> targets);
    size_t ycbcr_band_bytes(unsigned width) const;

    // 2^min(target bits x target samples, 8) grays, through the gamma table when the source
    // asks for it; min-is-white reverses the order.
    std::vector<RGBQUAD> make_gray_palette(bool min_is_white) const;
    // A palette from a file's colour map of `entries` entries with `bits` bits a value (8 or
    // 16; 16-bit values big-endian when the source needs byte swapping).
    std::vector<RGBQUAD> create_color_palette(std::span<const uint8_t* const> data,
                                              PaletteLayout layout, unsigned entries,
                                              unsigned bits) const;

    // Picks the row converter for the current settings; throws EColorConversionError
    // "Conversion between indexed and non-indexed pixel formats is not supported." for
    // such pairs.
    void select_converter();

    // The 256-entry gamma table.
    const uint8_t* gamma_table() const { return gamma_table_; }

private:
    // Every setting that changes goes through here, so the converter is chosen again.
    template <typename T>
    void change(T& setting, T value) {
        setting = value;
        changed_ = true;
    }

    struct Side {
        uint8_t bits = 8;
        uint8_t samples = 3;
        ColorModel model;
        uint32_t options = 0;
    };
    using RowConverter = void (TColorManager::*)(std::span<const uint8_t* const>, uint8_t*,
                                                 unsigned, uint8_t);
    // Turns the samples of one pixel (8-bit values, in the source's sample order) into red,
    // green, blue and alpha.
    using PixelDecoder = void (TColorManager::*)(const uint8_t* samples, uint8_t* rgba) const;

    PixelDecoder colour_decoder();
    bool gamma_requested() const;
    // Bits an index takes in the target row (1, 4 or 8), and bytes a colour pixel takes
    // (2, 3 or 4; 0 for a layout no converter writes).
    unsigned target_storage_bits() const;
    unsigned target_pixel_bytes() const;
    bool source_has_alpha() const;
    void build_ycbcr_tables();
    void build_photo_ycc_tables();

    // Indexed and gray re-packing (all four depth variants, gray with alpha as gray read
    // with a stride of two samples), and every colour model through its pixel decoder.
    void row_indexed(std::span<const uint8_t* const> source, uint8_t* target, unsigned count,
                     uint8_t mask);
    void row_colour(std::span<const uint8_t* const> source, uint8_t* target, unsigned count,
                    uint8_t mask);

    void pixel_rgb(const uint8_t* samples, uint8_t* rgba) const;
    void pixel_bgr(const uint8_t* samples, uint8_t* rgba) const;
    void pixel_cmyk(const uint8_t* samples, uint8_t* rgba) const;
    void pixel_lab(const uint8_t* samples, uint8_t* rgba) const;
    void pixel_ycbcr(const uint8_t* samples, uint8_t* rgba) const;

    Side source_{8, 3, cmRGB, 0};
    Side target_{8, 3, cmBGR, 0};
    float gamma_ = 2.2f;
    uint8_t gamma_table_[256];
    float ycbcr_coefficients_[3] = {0.299f, 0.587f, 0.114f};
    uint8_t subsampling_[2] = {1, 1};
    RowConverter converter_ = nullptr;
    PixelDecoder decoder_ = nullptr;
    uint8_t samples_read_ = 0;  // samples of a pixel the converter reads
    bool changed_ = true;
    // Lookup tables of the YCbCr and Photo YCC converters: Cr to red, Cb to blue, and the
    // two green terms (in 1/65536 steps), and the luma scale (identity for YCbCr).
    std::vector<int> cr_to_red_, cb_to_blue_, cr_to_green_, cb_to_green_, luma_;
};

}  // namespace quorvel::readers
