// swap_red_blue (pixel_order.h), compiled once per SIMD target by Highway's foreach_target.
#include "formats/pixel_order.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "formats/pixel_order.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quorvel::formats::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void SwapRedBlue(const uint8_t* HWY_RESTRICT in, uint8_t* HWY_RESTRICT out, size_t pixels) {
    const hn::ScalableTag<uint8_t> d;
    const size_t lanes = hn::Lanes(d);
    size_t i = 0;
    for (; i + lanes <= pixels; i += lanes) {
        hn::Vec<decltype(d)> first, second, third;
        hn::LoadInterleaved3(d, in + 3 * i, first, second, third);
        hn::StoreInterleaved3(third, second, first, d, out + 3 * i);
    }
    for (; i < pixels; ++i) {
        out[3 * i] = in[3 * i + 2];
        out[3 * i + 1] = in[3 * i + 1];
        out[3 * i + 2] = in[3 * i];
    }
}

}  // namespace quorvel::formats::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::formats {

HWY_EXPORT(SwapRedBlue);

void swap_red_blue(const uint8_t* in, uint8_t* out, size_t pixels) {
    HWY_DYNAMIC_DISPATCH(SwapRedBlue)(in, out, pixels);
}

}  // namespace quorvel::formats
#endif  // HWY_ONCE
