// Compiled once per SIMD target by Highway's foreach_target; the dispatch table lives in the
// HWY_ONCE part at the end.
#include "wsq/nonzero_kernel.h"

#include <bit>
#include <cstring>

#include "wsq/simd.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wsq/nonzero_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_WSQ_NONZERO_KERNEL_SCALAR  // once, though foreach_target includes this again
#define QUORVEL_WSQ_NONZERO_KERNEL_SCALAR
namespace quorvel::wsq::scalar {

inline void nonzero_bits(const int16_t* p, size_t from, size_t n, uint64_t* bits) {
    for (size_t i = from; i < n; ++i) bits[i / 64] |= static_cast<uint64_t>(p[i] != 0) << (i % 64);
}

}  // namespace quorvel::wsq::scalar
#endif

HWY_BEFORE_NAMESPACE();
namespace quorvel::wsq::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Whole vectors give their comparison's bits in lane order, which is the order of the
// words' bits on a little-endian machine; the tail goes through the scalar loop.
void NonzeroBits(const int16_t* p, size_t n, uint64_t* bits) {
    const hn::ScalableTag<int16_t> d;
    const size_t lanes = hn::Lanes(d);
    size_t i = 0;
    if (lanes % 8 == 0 && 64 % lanes == 0) {
        unsigned char* out = reinterpret_cast<unsigned char*>(bits);
        for (; i + lanes <= n; i += lanes)
            hn::StoreMaskBits(d, hn::Ne(hn::LoadU(d, p + i), hn::Zero(d)), out + i / 8);
    }
    scalar::nonzero_bits(p, i, n, bits);
}

}  // namespace quorvel::wsq::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::wsq {

HWY_EXPORT(NonzeroBits);

void nonzero_bits(const int16_t* p, size_t n, uint64_t* bits) {
    std::memset(bits, 0, (n + 63) / 64 * sizeof(uint64_t));
    if (wsq_simd_enabled() && std::endian::native == std::endian::little)
        HWY_DYNAMIC_DISPATCH(NonzeroBits)(p, n, bits);
    else scalar::nonzero_bits(p, 0, n, bits);
}

}  // namespace quorvel::wsq
#endif  // HWY_ONCE
