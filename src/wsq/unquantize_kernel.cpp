// Compiled once per SIMD target by Highway's foreach_target; the dispatch table lives in the
// HWY_ONCE part at the end.
#include "wsq/unquantize_kernel.h"

#include "wsq/simd.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wsq/unquantize_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_WSQ_UNQUANTIZE_KERNEL_SCALAR  // once, though foreach_target includes this again
#define QUORVEL_WSQ_UNQUANTIZE_KERNEL_SCALAR
namespace quorvel::wsq::scalar {

inline void unquantize_values(float* out, const int16_t* index, size_t from, size_t n,
                              const SubbandValues& values) {
    for (size_t i = from; i < n; ++i) out[i] = values(index[i]);
}

}  // namespace quorvel::wsq::scalar
#endif

HWY_BEFORE_NAMESPACE();
namespace quorvel::wsq::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Table look-ups only, so the same bits on every target; a vector of zero indices needs no
// gather, and one with an index beyond the table is done by the scalar loop.
void UnquantizeRun(float* out, const int16_t* index, size_t n, const SubbandValues& values) {
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype(df)> di;
    const hn::Rebind<int16_t, decltype(di)> d16;
    const auto offset = hn::Set(di, SubbandValues::kSmall);
    const auto below = hn::Set(di, -1), beyond = hn::Set(di, 2 * SubbandValues::kSmall + 1);
    const size_t lanes = hn::Lanes(df);
    size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        const auto n16 = hn::LoadU(d16, index + i);
        if (hn::AllTrue(d16, hn::Eq(n16, hn::Zero(d16)))) {  // most of a print's indices
            hn::StoreU(hn::Set(df, values.table()[SubbandValues::kSmall]), df, out + i);
            continue;
        }
        const auto slot = hn::Add(hn::PromoteTo(di, n16), offset);
        if (!hn::AllTrue(di, hn::And(hn::Gt(slot, below), hn::Lt(slot, beyond)))) {
            scalar::unquantize_values(out, index, i, i + lanes, values);
            continue;
        }
        hn::StoreU(hn::GatherIndex(df, values.table(), slot), df, out + i);
    }
    scalar::unquantize_values(out, index, i, n, values);
}

}  // namespace quorvel::wsq::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::wsq {

HWY_EXPORT(UnquantizeRun);

void unquantize_run(float* out, const int16_t* index, size_t n, const SubbandValues& values) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(UnquantizeRun)(out, index, n, values);
    else scalar::unquantize_values(out, index, 0, n, values);
}

}  // namespace quorvel::wsq
#endif  // HWY_ONCE
