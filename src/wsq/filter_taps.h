// The one arithmetic kernel of the filter bank: n independent tap sums side by side, with a
// SIMD path (Highway, chosen at run time) and a scalar path that give the same bits.
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

// The SIMD path is used only on processors with a fused multiply-add, the one way to give
// the scalar path's bits; tests switch it off to compare. On by default.
void set_filter_simd(bool enabled);
bool filter_simd_enabled();

}  // namespace quorvel::wsq
