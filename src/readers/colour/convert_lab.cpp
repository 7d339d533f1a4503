// CIE L*a*b* to sRGB: L* from 0..255 to 0..100, a* and b* as signed bytes (coLabByteRange) or
// as unsigned bytes centred at 128; then L*a*b* -> XYZ against the D65 white point
// (0.95047, 1, 1.08883) and XYZ -> linear sRGB with the IEC 61966-2-1 matrix and its
// transfer curve.
#include <cmath>

#include "readers/colour/color_manager.h"
#include "readers/colour/samples.h"

namespace quorvel::readers {
namespace {

constexpr double kWhite[3] = {0.95047, 1.0, 1.08883};
constexpr double kEpsilon = 6.0 / 29.0;

// Inverse of the CIE lightness function.
double f_inverse(double t) {
    return t > kEpsilon ? t * t * t : 3 * kEpsilon * kEpsilon * (t - 4.0 / 29.0);
}

uint8_t srgb_encode(double linear) {
    const double v =
        linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return colour::clamp8(static_cast<int>(std::lround(v * 255)));
}

}  // namespace

void TColorManager::pixel_lab(const uint8_t* s, uint8_t* rgba) const {
    const bool signed_ab = (source_.options & coLabByteRange) != 0;
    const double l = s[0] * 100.0 / 255.0;
    const double a = signed_ab ? static_cast<int8_t>(s[1]) : s[1] - 128.0;
    const double b = signed_ab ? static_cast<int8_t>(s[2]) : s[2] - 128.0;
    const double fy = (l + 16) / 116;
    const double x = kWhite[0] * f_inverse(fy + a / 500);
    const double y = kWhite[1] * f_inverse(fy);
    const double z = kWhite[2] * f_inverse(fy - b / 200);
    rgba[0] = srgb_encode(3.2404542 * x - 1.5371385 * y - 0.4985314 * z);
    rgba[1] = srgb_encode(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z);
    rgba[2] = srgb_encode(0.0556434 * x - 0.2040259 * y + 1.0572252 * z);
}

}  // namespace quorvel::readers
