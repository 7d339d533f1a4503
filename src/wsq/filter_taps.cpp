// Compiled once per SIMD target by Highway's foreach_target; the dispatch table lives in the
// HWY_ONCE part at the end.
#include "wsq/filter_taps.h"

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
    for (; i + lanes <= n; i += lanes)
        hn::StoreU(one(i, [&](const float* p) { return hn::LoadU(d, p); }), d, out + i);
    if (i == n) return;
    const auto mask = hn::FirstN(d, n - i);
    hn::BlendedStore(one(i, [&](const float* p) { return hn::MaskedLoad(mask, d, p); }), mask, d,
                     out + i);
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
    const size_t lanes = hn::Lanes(d);
    size_t i = 0;
    for (; i + lanes <= n; i += lanes)
        hn::StoreU(one(i, [&](const float* p) { return hn::LoadU(d, p); }), d, out + i);
    if (i == n) return;
    const auto mask = hn::FirstN(d, n - i);
    hn::BlendedStore(one(i, [&](const float* p) { return hn::MaskedLoad(mask, d, p); }), mask, d,
                     out + i);
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

}  // namespace quorvel::wsq::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::wsq {

HWY_EXPORT(TapSum);

void tap_sum(float* out, const TapGroup& first, const TapGroup& second, size_t n) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(TapSum)(out, first, second, n);
    else scalar::tap_sums(out, first, second, 0, n);
}

}  // namespace quorvel::wsq
#endif  // HWY_ONCE
