// The arithmetic kernels of the filter bank: n independent tap sums side by side, and the
// split of a line into its even and odd samples, each with a SIMD path and a scalar path that
// give the same bits (see simd.h).
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

// The four polyphase halves of the 7/9 synthesis pair: even outputs take the odd taps.
struct Synthesis {
    float lo_even[3], hi_even[4];  // taps of even outputs
    float lo_odd[4], hi_odd[5];    // taps of odd outputs
    Synthesis(const float* lo, const float* hi)
        : lo_even{lo[1], lo[3], lo[5]},
          hi_even{hi[1], hi[3], hi[5], hi[7]},
          lo_odd{lo[0], lo[2], lo[4], lo[6]},
          hi_odd{hi[0], hi[2], hi[4], hi[6], hi[8]} {}
};

// Both outputs of n synthesis pairs, interleaved as the line holds them: for every m < n,
// out[2m] sums lo_even[j] * low[m + j] then hi_even[j] * high[m + j], and out[2m + 1] sums
// lo_odd[j] * low[m + j] then hi_odd[j] * high[m + j], rounded as tap_sum rounds.
void synthesis_pairs(float* out, const float* low, const float* high, const Synthesis& s, size_t n);

// evens[j] = in[2j] and odds[j] = in[2j + 1] for every j < n.
void split_pairs(const float* in, size_t n, float* evens, float* odds);

}  // namespace quorvel::wsq
