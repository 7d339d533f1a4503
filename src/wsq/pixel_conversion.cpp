// float_to_pixels (decoder.h), the decoder's last step, and add_pixel_range (encoder.h), the
// encoder's first: compiled once per SIMD target by Highway's foreach_target, with the scalar
// loops as the reference and the tails.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "wsq/decoder.h"
#include "wsq/encoder.h"
#include "wsq/simd.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wsq/pixel_conversion.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_WSQ_PIXEL_CONVERSION_SCALAR  // once, though foreach_target includes this again
#define QUORVEL_WSQ_PIXEL_CONVERSION_SCALAR
namespace quorvel::wsq::scalar {

inline void to_pixels(unsigned char* cdata, const float* fdata, size_t from, size_t n,
                      float m_shift, float r_scale) {
    for (size_t i = from; i < n; ++i) {
        const float t = std::fmaf(fdata[i], r_scale, m_shift);
        const float u = t + 0.5f;
        if (!(u >= 0.0f)) cdata[i] = 0;
        else if (u > 255.0f) cdata[i] = 255;
        else cdata[i] = static_cast<unsigned char>(u);
    }
}

inline void add_range(PixelRange& range, const unsigned char* data, size_t from, size_t n) {
    for (size_t i = from; i < n; ++i) {
        const int p = data[i];
        range.smallest = std::min(range.smallest, p);
        range.largest = std::max(range.largest, p);
        range.sum += p;
    }
}

}  // namespace quorvel::wsq::scalar
#endif

HWY_BEFORE_NAMESPACE();
namespace quorvel::wsq::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Lane by lane the scalar loop: one fused multiply-add, one rounded addition, then 0 for
// negatives and not-a-number (the comparison is false), 255 above, else truncation. With AVX2
// four vectors are narrowed to bytes together: two packing steps and one permutation for 32
// pixels, where narrowing each alone takes three steps for 8.
void FloatToPixels(unsigned char* cdata, const float* fdata, size_t n, float m_shift,
                   float r_scale) {
    size_t i = 0;
#if HWY_NATIVE_FMA
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype(df)> di;
    const hn::Rebind<uint8_t, decltype(df)> du8;
    const auto scale = hn::Set(df, r_scale), shift = hn::Set(df, m_shift);
    const auto half = hn::Set(df, 0.5f), top = hn::Set(df, 255.0f);
    auto levels = [&](size_t at) {
        const auto u = hn::Add(hn::MulAdd(hn::LoadU(df, fdata + at), scale, shift), half);
        return hn::ConvertTo(di, hn::IfThenElseZero(hn::Ge(u, hn::Zero(df)), hn::Min(u, top)));
    };
    const size_t lanes = hn::Lanes(df);
#if HWY_TARGET == HWY_AVX2
    // The packs interleave the vectors' 128-bit halves; the permutation puts them in order.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; i + 4 * lanes <= n; i += 4 * lanes) {
        const __m256i low = _mm256_packs_epi32(levels(i).raw, levels(i + lanes).raw);
        const __m256i high =
            _mm256_packs_epi32(levels(i + 2 * lanes).raw, levels(i + 3 * lanes).raw);
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(cdata + i), bytes);
    }
#endif
    for (; i + lanes <= n; i += lanes) hn::StoreU(hn::DemoteTo(du8, levels(i)), du8, cdata + i);
#endif
    scalar::to_pixels(cdata, fdata, i, n, m_shift, r_scale);
}

// Integers only, so the lanes give the scalar loop's extremes and sum in any order. The sums
// of eight bytes are taken in 64-bit lanes, which no image can overflow.
void AddPixelRange(PixelRange& range, const unsigned char* data, size_t n) {
    const hn::ScalableTag<uint8_t> d8;
    const hn::Repartition<uint64_t, decltype(d8)> d64;
    const size_t lanes = hn::Lanes(d8);
    size_t i = 0;
    if (n >= lanes) {
        auto low = hn::Set(d8, 255), high = hn::Zero(d8);
        auto sum = hn::Zero(d64);
        for (; i + lanes <= n; i += lanes) {
            const auto v = hn::LoadU(d8, data + i);
            low = hn::Min(low, v);
            high = hn::Max(high, v);
            sum = hn::Add(sum, hn::SumsOf8(v));
        }
        // This Highway reduces no 8-bit lanes: the lanes go through memory.
        HWY_ALIGN uint8_t lows[hn::MaxLanes(d8)], highs[hn::MaxLanes(d8)];
        hn::Store(low, d8, lows);
        hn::Store(high, d8, highs);
        range.smallest = std::min<int>(range.smallest, *std::min_element(lows, lows + lanes));
        range.largest = std::max<int>(range.largest, *std::max_element(highs, highs + lanes));
        range.sum += static_cast<int64_t>(hn::GetLane(hn::SumOfLanes(d64, sum)));
    }
    scalar::add_range(range, data, i, n);
}

}  // namespace quorvel::wsq::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorvel::wsq {

HWY_EXPORT(FloatToPixels);
HWY_EXPORT(AddPixelRange);

void add_pixel_range(PixelRange& range, const unsigned char* data, size_t n) {
    if (wsq_simd_enabled()) HWY_DYNAMIC_DISPATCH(AddPixelRange)(range, data, n);
    else scalar::add_range(range, data, 0, n);
}

void float_to_pixels(unsigned char* cdata, const float* fdata, size_t num_pix, float m_shift,
                     float r_scale) {
    if (wsq_simd_enabled())
        HWY_DYNAMIC_DISPATCH(FloatToPixels)(cdata, fdata, num_pix, m_shift, r_scale);
    else scalar::to_pixels(cdata, fdata, 0, num_pix, m_shift, r_scale);
}

}  // namespace quorvel::wsq
#endif  // HWY_ONCE
