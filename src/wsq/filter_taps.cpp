// Compiled once per SIMD target by Highway's foreach_target; the dispatch table lives in the
// HWY_ONCE part at the end.
#include "wsq/filter_taps.h"

#include <algorithm>
#include <cmath>

#include "wsq/simd.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wsq/filter_taps.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_WSQ_FILTER_TAPS_SCALAR  // once, though foreach_target includes this file again
#define QUORVEL_WSQ_FILTER_TAPS_SCALAR
namespace quorvel::wsq {
namespace scalar {

// The reference: one sample at a time, fmaf in tap order.
inline void tap_sums(float* out, const TapGroup& a, const TapGroup& b, size_t from, size_t n) {
    for (size_t i = from; i < n; ++i) {
        float sum = a.taps[0] * a.src[0][i];
        for (int t = 1; t < a.count; ++t) sum = std::fmaf(a.taps[t], a.src[t][i], sum);
        for (int t = 0; t < b.count; ++t) sum = std::fmaf(b.taps[t], b.src[t][i], sum);
        out[i] = sum;
    }
}

inline void split_pairs(const float* in, size_t from, size_t n, float* evens, float* odds) {
    for (size_t j = from; j < n; ++j) {
        evens[j] = in[2 * j];
        odds[j] = in[2 * j + 1];
    }
}

inline float pair_sum(const float* lo_taps, int nlo, const float* low, const float* hi_taps,
                      int nhi, const float* high) {
    float sum = lo_taps[0] * low[0];
    for (int t = 1; t < nlo; ++t) sum = std::fmaf(lo_taps[t], low[t], sum);
    for (int t = 0; t < nhi; ++t) sum = std::fmaf(hi_taps[t], high[t], sum);
    return sum;
}

inline void synthesis_pairs(float* out, const float* low, const float* high, const Synthesis& s,
                            size_t from, size_t n) {
    for (size_t m = from; m < n; ++m) {
        out[2 * m] = pair_sum(s.lo_even, 3, low + m, s.hi_even, 4, high + m);
        out[2 * m + 1] = pair_sum(s.lo_odd, 4, low + m, s.hi_odd, 5, high + m);
    }
}

}  // namespace scalar
}  // namespace quorvel::wsq
#endif

HWY_BEFORE_NAMESPACE();
namespace quorvel::wsq::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Each lane does what the scalar loop does for its i: Mul is one rounded product and MulAdd
// one fused multiply-add, which only targets with HWY_NATIVE_FMA provide (elsewhere MulAdd
// rounds twice, so those targets take the scalar loop). With fixed counts the sources and
// taps are copied to locals first: a store through out may alias the caller's arrays, which
// would make every vector reload them. The last partial vector is computed on masked loads
// (unused lanes are zero) and stored through the same mask.
// Stores one(i, load) for the vectors of out[i, n), the last partial one masked.
template <class D, class One>
HWY_INLINE void store_rest(D d, float* out, size_t i, size_t n, const One& one) {
    const size_t lanes = hn::Lanes(d);
    for (; i + lanes <= n; i += lanes)
        hn::StoreU(one(i, [&](const float* p) { return hn::LoadU(d, p); }), d, out + i);
    if (i == n) return;
    const auto mask = hn::FirstN(d, n - i);
    hn::BlendedStore(one(i, [&](const float* p) { return hn::MaskedLoad(mask, d, p); }), mask, d,
                     out + i);
}

template <int N, class D, class V>
HWY_INLINE void fixed_sums(D d, float* out, const float* const (&src)[N], const V (&tap)[N],
                           size_t n) {
    auto one = [&](size_t i, auto load) {
        auto sum = hn::Mul(tap[0], load(src[0] + i));
        for (int t = 1; t < N; ++t) sum = hn::MulAdd(tap[t], load(src[t] + i), sum);
        return sum;
    };
    const size_t lanes = hn::Lanes(d);
    size_t i = 0;
    for (; i + 2 * lanes <= n; i += 2 * lanes) {
        const auto a = one(i, [&](const float* p) { return hn::LoadU(d, p); });
        const auto b = one(i + lanes, [&](const float* p) { return hn::LoadU(d, p); });
        hn::StoreU(a, d, out + i);
        hn::StoreU(b, d, out + i + lanes);
    }
    store_rest(d, out, i, n, one);
}

template <int A, int B>
void tap_sums(float* out, const TapGroup& a, const TapGroup& b, size_t n) {
#if HWY_NATIVE_FMA
    const hn::ScalableTag<float> d;
    using V = hn::Vec<decltype(d)>;
    const float* src[A + B];
    V tap[A + B];
    for (int t = 0; t < A; ++t) {
        src[t] = a.src[t];
        tap[t] = hn::Set(d, a.taps[t]);
    }
    for (int t = 0; t < B; ++t) {
        src[A + t] = b.src[t];
        tap[A + t] = hn::Set(d, b.taps[t]);
    }
    fixed_sums<A + B>(d, out, src, tap, n);
#else
    scalar::tap_sums(out, a, b, 0, n);
#endif
}

// Any counts, read at run time.
void any_tap_sums(float* out, const TapGroup& a, const TapGroup& b, size_t n) {
#if HWY_NATIVE_FMA
    const hn::ScalableTag<float> d;
    auto one = [&](size_t i, auto load) {
        auto sum = hn::Mul(hn::Set(d, a.taps[0]), load(a.src[0] + i));
        for (int t = 1; t < a.count; ++t)
            sum = hn::MulAdd(hn::Set(d, a.taps[t]), load(a.src[t] + i), sum);
        for (int t = 0; t < b.count; ++t)
            sum = hn::MulAdd(hn::Set(d, b.taps[t]), load(b.src[t] + i), sum);
        return sum;
    };
    store_rest(d, out, 0, n, one);
#else
    scalar::tap_sums(out, a, b, 0, n);
#endif
}

void TapSum(float* out, const TapGroup& a, const TapGroup& b, size_t n) {
    if (a.count == 9 && b.count == 0) return tap_sums<9, 0>(out, a, b, n);
    if (a.count == 7 && b.count == 0) return tap_sums<7, 0>(out, a, b, n);
    if (a.count == 3 && b.count == 4) return tap_sums<3, 4>(out, a, b, n);
    if (a.count == 4 && b.count == 5) return tap_sums<4, 5>(out, a, b, n);
    any_tap_sums(out, a, b, n);
}

// Lane by lane the scalar pair sums; the two results go out interleaved. The last partial
// vectors are computed on masked loads (unused lanes are zero) and only their used half goes
// out, through a copy.
void SynthesisPairs(float* out, const float* low, const float* high, const Synthesis& s, size_t n) {
#if HWY_NATIVE_FMA
    const hn::ScalableTag<float> d;
    using V = hn::Vec<decltype(d)>;
    V le[3], he[4], lo[4], ho[5];
    for (int t = 0; t < 3; ++t) le[t] = hn::Set(d, s.lo_even[t]);
    for (int t = 0; t < 4; ++t) he[t] = hn::Set(d, s.hi_even[t]);
    for (int t = 0; t < 4; ++t) lo[t] = hn::Set(d, s.lo_odd[t]);
    for (int t = 0; t < 5; ++t) ho[t] = hn::Set(d, s.hi_odd[t]);
    auto pair = [&](size_t m, auto load, float* to) {
        const float* l = low + m;
        const float* h = high + m;
        auto even = hn::Mul(le[0], load(l));
        for (int t = 1; t < 3; ++t) even = hn::MulAdd(le[t], load(l + t), even);
        for (int t = 0; t < 4; ++t) even = hn::MulAdd(he[t], load(h + t), even);
        auto odd = hn::Mul(lo[0], load(l));
        for (int t = 1; t < 4; ++t) odd = hn::MulAdd(lo[t], load(l + t), odd);
        for (int t = 0; t < 5; ++t) odd = hn::MulAdd(ho[t], load(h + t), odd);
        hn::StoreInterleaved2(even, odd, d, to);
    };
    const size_t lanes = hn::Lanes(d);
    size_t m = 0;
    for (; m + lanes <= n; m += lanes)
        pair(
            m, [&](const float* p) { return hn::LoadU(d, p); }, out + 2 * m);
    if (m == n) return;
    const auto mask = hn::FirstN(d, n - m);
    HWY_ALIGN float tail[2 * hn::MaxLanes(d)];
    pair(
        m, [&](const float* p) { return hn::MaskedLoad(mask, d, p); }, tail);
    std::copy(tail, tail + 2 * (n - m), out + 2 * m);
#else
    scalar::synthesis_pairs(out, low, high, s, 0, n);
#endif
}

void SplitPairs(const float* in, size_t n, float* evens, float* odds) {
    const hn::ScalableTag<float> d;
    const size_t lanes = hn::Lanes(d);
    size_t j = 0;
    for (; j + lanes <= n; j += lanes) {
        hn::Vec<decltype(d)> even, odd;
        hn::LoadInterleaved2(d, in + 2 * j, even, odd);
        hn::StoreU(even, d, evens + j);
        hn::StoreU(odd, d, odds + j);
    }
    scalar::split_pairs(in, j, n, evens, odds);
}

}  // namespace quorvel::wsq::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::wsq {

HWY_EXPORT(TapSum);
HWY_EXPORT(SynthesisPairs);
HWY_EXPORT(SplitPairs);

void split_pairs(const float* in, size_t n, float* evens, float* odds) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(SplitPairs)(in, n, evens, odds);
    else scalar::split_pairs(in, 0, n, evens, odds);
}

void synthesis_pairs(float* out, const float* low, const float* high, const Synthesis& s,
                     size_t n) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(SynthesisPairs)(out, low, high, s, n);
    else scalar::synthesis_pairs(out, low, high, s, 0, n);
}

void tap_sum(float* out, const TapGroup& first, const TapGroup& second, size_t n) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(TapSum)(out, first, second, n);
    else scalar::tap_sums(out, first, second, 0, n);
}

}  // namespace quorvel::wsq
#endif  // HWY_ONCE
