// The inverse quantizer of one subband: the values of small indices come from a table made
// once per subband, the others from the long double formula through its proven double
// shortcut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wsq/exact_fast_paths.h"

namespace quorvel::wsq {

// Value of a nonzero index n, rounded once to float from long double.
inline float unquantize_value(int n, long double center, float q, long double half_zero) {
    float fast;
    if (unquantize_in_double(n, static_cast<double>(center), q, static_cast<double>(half_zero),
                             &fast))
        return fast;
    if (n > 0) return static_cast<float>((n - center) * q + half_zero);
    return static_cast<float>((n + center) * q - half_zero);
}

// The values of the small indices of one subband, worked out once: most indices are small.
class SubbandValues {
public:
    SubbandValues(long double center, float q, long double half_zero)
        : center_(center), q_(q), half_zero_(half_zero) {
        value_[kSmall] = 0.0f;  // what the calloc'd image holds
        for (int n = 1; n <= kSmall; ++n) {
            value_[kSmall + n] = unquantize_value(n, center, q, half_zero);
            value_[kSmall - n] = unquantize_value(-n, center, q, half_zero);
        }
    }
    static constexpr int kSmall = 16;
    float operator()(int n) const {
        if (static_cast<unsigned>(n + kSmall) <= 2u * kSmall) return value_[n + kSmall];
        return unquantize_value(n, center_, q_, half_zero_);
    }
    // value_[kSmall + n] is the value of index n, |n| <= kSmall.
    const float* table() const { return value_; }

private:
    float value_[2 * kSmall + 1];
    long double center_;
    float q_;
    long double half_zero_;
};

}  // namespace quorvel::wsq
