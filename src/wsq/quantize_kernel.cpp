// Compiled once per SIMD target by Highway's foreach_target; the dispatch table lives in the
// HWY_ONCE part at the end.
#include "wsq/quantize_kernel.h"

#include <cmath>

#include "wsq/exact_fast_paths.h"
#include "wsq/quantize.h"
#include "wsq/simd.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wsq/quantize_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_WSQ_QUANTIZE_KERNEL_SCALAR  // once, though foreach_target includes this again
#define QUORVEL_WSQ_QUANTIZE_KERNEL_SCALAR
namespace quorvel::wsq::scalar {

// The long double formula decides; the double shortcut gives its result when it can.
inline int16_t quantize_value(float v, float q, double inv_q, float half_zero) {
    if (std::isnan(v) || (-half_zero <= v && v <= half_zero)) return 0;
    int16_t fast;
    if (quantize_in_double(v, inv_q, half_zero, &fast)) return fast;
    long double r = v > 0 ? (static_cast<long double>(v) - half_zero) / q + 1.0L
                          : (static_cast<long double>(v) + half_zero) / q - 1.0L;
    if (std::isnan(r)) return 0;  // only from a bin width that is not a number
    // Values beyond 16 bits only come from extreme bitrates; keep them in range.
    if (r > kMaxQuantized) r = kMaxQuantized;
    if (r < kMinQuantized) r = kMinQuantized;
    return static_cast<int16_t>(std::trunc(r));
}

inline void quantize_values(int16_t* out, const float* v, size_t from, size_t n, float q,
                            float hz) {
    const double inv_q = 1.0 / q;
    for (size_t i = from; i < n; ++i) out[i] = quantize_value(v[i], q, inv_q, hz);
}

}  // namespace quorvel::wsq::scalar
#endif

HWY_BEFORE_NAMESPACE();
namespace quorvel::wsq::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// quantize_in_double lane by lane, with the same operations (no fused multiply-add); a vector
// with a lane the shortcut cannot decide is redone by the scalar loop. Most coefficients lie
// in the zero bin: a float vector of them (|v| <= hz compares floats exactly) is stored as
// zeros at once.
void QuantizeRun(int16_t* out, const float* v, size_t n, float q, float hz) {
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    const hn::Rebind<int32_t, decltype(dd)> di;
    const hn::Rebind<int16_t, decltype(dd)> ds;
    const auto zero = hn::Zero(dd), one = hn::Set(dd, 1.0);
    const auto half_zero = hn::Set(dd, hz), inv_q = hn::Set(dd, 1.0 / q);
    const auto limit = hn::Set(dd, 32766.0), margin = hn::Set(dd, 0x1p-48);
    const size_t lanes = hn::Lanes(dd);
    auto doubles = [&](size_t i) {
        const auto x = hn::PromoteTo(dd, hn::LoadU(df, v + i));
        const auto live = hn::Or(hn::Gt(x, half_zero), hn::Lt(x, hn::Neg(half_zero)));
        const auto positive = hn::Gt(x, zero);
        const auto a = hn::IfThenElse(positive, hn::Sub(x, half_zero), hn::Add(x, half_zero));
        const auto prod = hn::Mul(a, inv_q);
        const auto y = hn::IfThenElse(positive, hn::Add(prod, one), hn::Sub(prod, one));
        const auto ay = hn::Abs(y);
        const auto e = hn::Mul(hn::Add(ay, one), margin);
        const auto t = hn::Trunc(y);
        const auto below = hn::IfThenElse(hn::Ge(y, zero), t, hn::Sub(t, one));
        const auto ok = hn::And(
            hn::Lt(ay, limit),
            hn::And(hn::Gt(hn::Sub(y, e), below), hn::Lt(hn::Add(y, e), hn::Add(below, one))));
        if (!hn::AllTrue(dd, hn::Or(ok, hn::Not(live)))) {
            scalar::quantize_values(out, v, i, i + lanes, q, hz);
            return;
        }
        const auto index = hn::IfThenElseZero(live, t);
        hn::StoreU(hn::DemoteTo(ds, hn::DemoteTo(di, index)), ds, out + i);
    };
    const hn::ScalableTag<float> dw;
    const hn::Rebind<int16_t, decltype(dw)> dws;
    const auto bin = hn::Set(dw, hz);
    const size_t wide = hn::Lanes(dw);
    size_t i = 0;
    for (; i + wide <= n; i += wide) {
        if (hn::AllTrue(dw, hn::Le(hn::Abs(hn::LoadU(dw, v + i)), bin))) {
            hn::StoreU(hn::Zero(dws), dws, out + i);
            continue;
        }
        for (size_t j = 0; j < wide; j += lanes) doubles(i + j);
    }
    for (; i + lanes <= n; i += lanes) doubles(i);
    scalar::quantize_values(out, v, i, n, q, hz);
}

}  // namespace quorvel::wsq::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::wsq {

HWY_EXPORT(QuantizeRun);

void quantize_run(int16_t* out, const float* v, size_t n, float q, float hz) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(QuantizeRun)(out, v, n, q, hz);
    else scalar::quantize_values(out, v, 0, n, q, hz);
}

}  // namespace quorvel::wsq
#endif  // HWY_ONCE
