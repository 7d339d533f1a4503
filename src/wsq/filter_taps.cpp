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
// rounds twice, so those targets take the scalar loop).
void TapSum(float* out, const TapGroup& a, const TapGroup& b, size_t n) {
    size_t i = 0;
#if HWY_NATIVE_FMA
    const hn::ScalableTag<float> d;
    const size_t lanes = hn::Lanes(d);
    for (; i + lanes <= n; i += lanes) {
        auto sum = hn::Mul(hn::Set(d, a.taps[0]), hn::LoadU(d, a.src[0] + i));
        for (int t = 1; t < a.count; ++t)
            sum = hn::MulAdd(hn::Set(d, a.taps[t]), hn::LoadU(d, a.src[t] + i), sum);
        for (int t = 0; t < b.count; ++t)
            sum = hn::MulAdd(hn::Set(d, b.taps[t]), hn::LoadU(d, b.src[t] + i), sum);
        hn::StoreU(sum, d, out + i);
    }
#endif
    scalar::tap_sums(out, a, b, i, n);
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
