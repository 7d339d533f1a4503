// The SIMD kernels of every target against their scalar twins on lengths that fill whole
// vectors and leave every tail, with the awkward values (signed zeros, subnormals, infinities,
// not-a-number, exact ties) among ordinary ones.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "wsq/decoder.h"
#include "wsq/filter_taps.h"
#include "wsq/quantize_kernel.h"
#include "wsq/simd.h"
#include "support/simd_targets.h"

namespace quorvel::wsq {
namespace {

// f's result with the scalar kernels, and the SIMD target of each other result that differs
// from it (empty when every target gives the same).
template <class F>
std::vector<std::string> targets_unlike_scalar(F f) {
    set_wsq_simd(false);
    const auto scalar = f();
    set_wsq_simd(true);
    std::vector<std::string> unlike;
    testing::for_each_simd_target([&](const char* target) {
        if (f() != scalar) unlike.push_back(target);
    });
    return unlike;
}

std::vector<float> awkward_values(size_t n, uint32_t seed) {
    const float special[] = {0.0f,
                             -0.0f,
                             std::numeric_limits<float>::denorm_min(),
                             -1e-40f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(),
                             254.5f,
                             255.0f,
                             -0.5f,
                             0.49999997f};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-300.0f, 300.0f);
    std::vector<float> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = rng() % 5 == 0 ? special[rng() % 11] : value(rng);
    return out;
}

std::vector<uint32_t> bits_of(const std::vector<float>& v) {
    std::vector<uint32_t> out;
    for (float f : v) out.push_back(std::bit_cast<uint32_t>(f));
    return out;
}

TEST(SimdKernels, FloatToPixelsMatchesTheScalarLoop) {
    for (size_t n : {1u, 15u, 16u, 17u, 64u, 1001u}) {
        const std::vector<float> f = awkward_values(n, static_cast<uint32_t>(n));
        for (const auto& [shift, scale] : {std::pair{0.0f, 1.0f}, std::pair{127.5f, 0.73f}}) {
            const std::vector<std::string> unlike = targets_unlike_scalar([&] {
                std::vector<unsigned char> out(n);
                float_to_pixels(out.data(), f.data(), n, shift, scale);
                return out;
            });
            EXPECT_TRUE(unlike.empty()) << n << " on " << unlike.front();
        }
    }
}

TEST(SimdKernels, TapSumsMatchTheScalarLoopForEveryGroupShape) {
    const float taps[9] = {0.037f, -0.023f, -0.11f,  0.377f, 0.852f,
                           0.377f, -0.11f,  -0.023f, 0.037f};
    for (size_t n : {1u, 7u, 8u, 9u, 31u, 33u, 400u}) {
        std::vector<std::vector<float>> lines;
        for (int t = 0; t < 9; ++t) lines.push_back(awkward_values(n, 100 * t + n));
        const float* src[9];
        for (int t = 0; t < 9; ++t) src[t] = lines[t].data();
        for (const auto& [a, b] :
             {std::pair{9, 0}, std::pair{7, 0}, std::pair{3, 4}, std::pair{4, 5}}) {
            const std::vector<std::string> unlike = targets_unlike_scalar([&] {
                std::vector<float> out(n);
                tap_sum(out.data(), TapGroup{src, taps, a}, TapGroup{src + a, taps, b}, n);
                return bits_of(out);
            });
            EXPECT_TRUE(unlike.empty()) << n << " " << a << "+" << b << " on " << unlike.front();
        }
    }
}

TEST(SimdKernels, QuantizerMatchesTheScalarLoop) {
    for (size_t n : {1u, 7u, 8u, 9u, 100u, 1001u}) {
        std::vector<float> v = awkward_values(n, static_cast<uint32_t>(7 * n));
        // Values on the zero bin's edges and on exact integers of the index.
        for (size_t i = 0; i + 3 < n; i += 5) v[i] = i % 2 ? 0.6f : -0.6f, v[i + 1] = 2.5f;
        for (const auto& [q, hz] :
             {std::pair{1.0f, 0.6f}, std::pair{0.013f, 0.0078f}, std::pair{1.0f, 0.5f}}) {
            // Mostly the zero bin, as in a print, with its edges and a float just past them.
            std::vector<float> binned(n);
            for (size_t i = 0; i < n; ++i)
                binned[i] = i % 11 == 5 ? std::nextafter(hz, 1.0f) : i % 7 == 3 ? -hz : hz / 3;
            for (const std::vector<float>* in : {&v, &binned}) {
                const std::vector<std::string> unlike = targets_unlike_scalar([&] {
                    std::vector<int16_t> out(n);
                    quantize_run(out.data(), in->data(), n, q, hz);
                    return out;
                });
                EXPECT_TRUE(unlike.empty()) << n << " " << q << " on " << unlike.front();
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::wsq
