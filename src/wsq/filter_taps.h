// The one arithmetic kernel of the filter bank: n independent tap sums side by side, with a
// SIMD path and a scalar path that give the same bits (see simd.h).
#pragma once

#include <cstddef>

namespace quorvel::wsq {

// `count` taps applied to `count` source arrays: tap t multiplies src[t][i].
struct TapGroup {
    const float* const* src;
    const float* taps;
    int count;
};

// For every i < n: sum = first.taps[0] * first.src[0][i], rounded; then, in tap order through
// the first group and on through the second (count may be 0), sum = fmaf(tap, src[t][i], sum);
// out[i] = sum. out may not overlap any source.
void tap_sum(float* out, const TapGroup& first, const TapGroup& second, size_t n);

}  // namespace quorvel::wsq
