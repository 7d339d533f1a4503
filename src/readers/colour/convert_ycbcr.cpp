// YCbCr and Photo YCC to RGB through four 256-entry tables built at selection (Cr to red, Cb
// to blue, and the two green terms), plus the subsampled YCbCr bands TIFF files pack.
//
// YCbCr, ITU-R BT.601 form with the luma coefficients Kr, Kg, Kb and chroma centred at 128:
//   R = Y + (2 - 2Kr) Cr',  B = Y + (2 - 2Kb) Cb',  G = Y - (Kb (2 - 2Kb) / Kg) Cb' - (Kr (2 - 2Kr)
//   / Kg) Cr'
// Photo YCC (the Photo-CD equations, chroma centred at 156 for C1 and 137 for C2):
//   L = 1.3584 Y,  C1 = 2.2179 (Cb - 156),  C2 = 1.8215 (Cr - 137)
//   R = L + C2,  G = L - 0.194 C1 - 0.509 C2,  B = L + C1
// Values beyond 0..255 (Photo YCC reaches 346) are clipped.
#include <algorithm>
#include <cmath>

#include "readers/colour/color_manager.h"
#include "readers/colour/colour_models.h"
#include "readers/colour/samples.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

constexpr double kGreenScale = 65536.0;  // the green terms are summed in 1/65536 steps

// Coefficients a file gives are used when they describe a luma (each in 0..1, green not 0);
// otherwise BT.601's.
void usable_coefficients(const float given[3], double out[3]) {
    const bool usable = std::all_of(given, given + 3,
                                    [](float k) { return std::isfinite(k) && k >= 0 && k <= 1; }) &&
                        given[1] > 0;
    const double standard[3] = {0.299, 0.587, 0.114};
    for (int i = 0; i < 3; ++i) out[i] = usable ? given[i] : standard[i];
}

int fixed(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

void TColorManager::build_ycbcr_tables() {
    double k[3];
    usable_coefficients(ycbcr_coefficients_, k);
    const double red = 2 - 2 * k[0], blue = 2 - 2 * k[2];
    cr_to_red_.resize(256), cb_to_blue_.resize(256), cr_to_green_.resize(256),
        cb_to_green_.resize(256);
    luma_.resize(256);
    for (int i = 0; i < 256; ++i) {
        const double c = i - 128;
        cr_to_red_[i] = fixed(red * c);
        cb_to_blue_[i] = fixed(blue * c);
        cr_to_green_[i] = fixed(-k[0] * red / k[1] * c * kGreenScale);
        cb_to_green_[i] = fixed(-k[2] * blue / k[1] * c * kGreenScale);
        luma_[i] = i;
    }
}

void TColorManager::build_photo_ycc_tables() {
    cr_to_red_.resize(256), cb_to_blue_.resize(256), cr_to_green_.resize(256),
        cb_to_green_.resize(256);
    luma_.resize(256);
    for (int i = 0; i < 256; ++i) {
        const double c1 = 2.2179 * (i - 156), c2 = 1.8215 * (i - 137);
        cr_to_red_[i] = fixed(c2);
        cb_to_blue_[i] = fixed(c1);
        cr_to_green_[i] = fixed(-0.509 * c2 * kGreenScale);
        cb_to_green_[i] = fixed(-0.194 * c1 * kGreenScale);
        luma_[i] = fixed(1.3584 * i);
    }
}

// Samples in the order Y, Cb (C1), Cr (C2).
void TColorManager::pixel_ycbcr(const uint8_t* s, uint8_t* rgba) const {
    const int y = luma_[s[0]];
    const int green = (cb_to_green_[s[1]] + cr_to_green_[s[2]] + (1 << 15)) >> 16;
    rgba[0] = colour::clamp8(y + cr_to_red_[s[2]]);
    rgba[1] = colour::clamp8(y + green);
    rgba[2] = colour::clamp8(y + cb_to_blue_[s[1]]);
}

size_t TColorManager::ycbcr_band_bytes(unsigned width) const {
    const size_t h = std::max<uint8_t>(subsampling_[0], 1),
                 v = std::max<uint8_t>(subsampling_[1], 1);
    return (width + h - 1) / h * (h * v + 2);
}

void TColorManager::convert_ycbcr_band(std::span<const uint8_t> band, unsigned width,
                                       std::span<uint8_t* const> targets) {
    if (changed_) select_converter();
    if (source_.model != cmYCbCr || source_.bits != 8 || source_.samples != 3 ||
        converter_ == nullptr)
        throw toolkit::EColorConversionError(colour::gesConversionUnsupported);
    const size_t h = std::max<uint8_t>(subsampling_[0], 1),
                 v = std::max<uint8_t>(subsampling_[1], 1);
    const size_t block_bytes = h * v + 2;
    const auto at = [&](size_t i) -> uint8_t { return i < band.size() ? band[i] : 0; };
    std::vector<uint8_t> row(size_t(width) * 3);
    const uint8_t* planes[1] = {row.data()};
    if (std::any_of(targets.begin(), targets.end(), [](auto t) { return !t; }))
        throw toolkit::EColorConversionError(colour::gesConversionUnsupported);
    for (size_t r = 0; r < targets.size() && r < v; ++r) {
        for (size_t x = 0; x < width; ++x) {
            const size_t block = x / h * block_bytes;
            row[3 * x] = at(block + r * h + x % h);
            row[3 * x + 1] = at(block + h * v);
            row[3 * x + 2] = at(block + h * v + 1);
        }
        row_colour(planes, targets[r], width, 0xFF);
    }
}

}  // namespace quorvel::readers
