// The inverse quantizer of one subband: the values of small indices come from a table made
// once per subband, the others from the long double formula through its proven double
// shortcut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wsq/exact_fast_paths.h"

namespace quorvel::wsq {

// Value of a nonzero index n, rounded once to float from long double. center and half_zero
// are a float and half a float, so doubles hold them exactly.
inline float unquantize_value(int n, double center, float q, double half_zero) {
    float fast;
    if (unquantize_in_double(n, center, q, half_zero, &fast)) return fast;
    const long double c = center, hz = half_zero;
    if (n > 0) return static_cast<float>((n - c) * q + hz);
    return static_cast<float>((n + c) * q - hz);
}

// The inverse quantizer of one subband (bin center, bin width q and zero bin width): the
// values of the small indices are worked out once, as most indices are small.
class SubbandValues {
public:
    SubbandValues(float center, float q, float zero_bin_width)
        : center_(center), q_(q), half_zero_(static_cast<double>(zero_bin_width) / 2) {
        value_[kSmall] = 0.0f;  // what the calloc'd image holds
        for (int n = 1; n <= kSmall; ++n) {
            value_[kSmall + n] = unquantize_value(n, center_, q_, half_zero_);
            value_[kSmall - n] = unquantize_value(-n, center_, q_, half_zero_);
        }
    }
    static constexpr int kSmall = 74;  // every value a symbol without extra bits stands for
    float operator()(int n) const {
        if (static_cast<unsigned>(n + kSmall) <= 2u * kSmall) return value_[n + kSmall];
        return unquantize_value(n, center_, q_, half_zero_);
    }
    // value_[kSmall + n] is the value of index n, |n| <= kSmall.
    const float* table() const { return value_; }

private:
    float value_[2 * kSmall + 1];
    double center_;
    float q_;
    double half_zero_;
};

}  // namespace quorvel::wsq
