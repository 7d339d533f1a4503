// The double-precision shortcuts of quantization against the long double formulas, on random
// values and on values built to land on (or within a few units of) the integer and float
// rounding boundaries, where the shortcut must step aside; and the full quantizer and
// inverse quantizer on those boundary values.
#include "wsq/exact_fast_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "wsq/diag.h"
#include "wsq/quantize.h"
#include "wsq/records.h"

namespace quorvel::wsq {
namespace {

int16_t reference_quantize(float v, float q, float hz) {
    long double r = v > 0 ? (static_cast<long double>(v) - hz) / q + 1.0L
                          : (static_cast<long double>(v) + hz) / q - 1.0L;
    if (r > 32767) r = 32767;
    if (r < -32768) r = -32768;
    return static_cast<int16_t>(std::trunc(r));
}

float reference_unquantize(int n, float c, float q, float zbw) {
    const long double center = c, hz = static_cast<long double>(zbw) / 2;
    return static_cast<float>(n > 0 ? (n - center) * q + hz : (n + center) * q - hz);
}

// v beyond the dead zone whose quotient is the integer index, and its float neighbours.
std::vector<float> near_integer_values(float q, float hz, int index) {
    const float exact = static_cast<float>((index - 1) * static_cast<double>(q) + hz);
    std::vector<float> out;
    float below = exact, above = exact;
    out.push_back(exact);
    for (int i = 0; i < 3; ++i) {
        out.push_back(below = std::nextafter(below, 0.0f));
        out.push_back(above = std::nextafter(above, 1e30f));
    }
    for (float& v : out) v = v > hz ? v : std::nextafter(hz, 1e30f);
    return out;
}

struct Tally {
    int decided = 0, refused = 0;
};

TEST(QuantizeInDouble, AgreesWithLongDoubleOrStepsAside) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> log_q(-8.0f, 8.0f), index(1.0f, 32000.0f);
    Tally tally;
    for (int trial = 0; trial < 20000; ++trial) {
        const float q = std::exp2(log_q(rng)), hz = q * 0.6f;
        for (float v : near_integer_values(q, hz, static_cast<int>(index(rng)))) {
            for (float s : {v, -v}) {
                int16_t got;
                if (quantize_in_double(s, 1.0 / q, hz, &got)) {
                    ++tally.decided;
                    ASSERT_EQ(got, reference_quantize(s, q, hz)) << s << " " << q << " " << hz;
                } else {
                    ++tally.refused;
                }
            }
        }
    }
    EXPECT_GT(tally.refused, 0);  // exact integers are always among them
    EXPECT_GT(tally.decided, 100 * tally.refused);
}

TEST(QuantizeInDouble, ExactIntegersNonNumbersAndClampsAreLeftToLongDouble) {
    int16_t got = 0;
    EXPECT_FALSE(quantize_in_double(2.5f, 1.0, 0.5f, &got));  // (2.5 - 0.5) / 1 + 1 = 3
    EXPECT_FALSE(quantize_in_double(-2.5f, 1.0, 0.5f, &got));
    EXPECT_FALSE(quantize_in_double(5000.0f, 1000.0, 0.0006f, &got));  // beyond 16 bits
    EXPECT_FALSE(quantize_in_double(3.0f, NAN, 0.5f, &got));
    EXPECT_TRUE(quantize_in_double(2.6f, 1.0, 0.5f, &got));
    EXPECT_EQ(got, 3);
    EXPECT_TRUE(quantize_in_double(-2.6f, 1.0, 0.5f, &got));
    EXPECT_EQ(got, -3);
}

// Values whose inverse quantization lands next to the midpoint between two floats.
TEST(UnquantizeInDouble, AgreesWithLongDoubleOrStepsAside) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> log_q(-6.0f, 6.0f), centre(0.0f, 1.0f);
    std::uniform_int_distribution<int> index(-32768, 32767);
    Tally tally;
    for (int trial = 0; trial < 40000; ++trial) {
        const float q = std::exp2(log_q(rng)), c = centre(rng);
        const int n = index(rng);
        if (n == 0) continue;
        // A zero-bin width that puts the result on a midpoint, and its neighbours.
        const double p = (n > 0 ? n - static_cast<double>(c) : n + static_cast<double>(c)) * q;
        const float f = static_cast<float>(p + 0.6 * q);
        const double mid = (static_cast<double>(f) + std::nextafter(f, 1e30f)) / 2;
        float zbw = static_cast<float>(2 * std::fabs(mid - p));
        for (int step = 0; step < 5; ++step, zbw = std::nextafter(zbw, 1e30f)) {
            float got;
            if (unquantize_in_double(n, c, q, zbw / 2.0, &got)) {
                ++tally.decided;
                ASSERT_EQ(got, reference_unquantize(n, c, q, zbw)) << n << " " << c << " " << q;
            } else {
                ++tally.refused;
            }
        }
    }
    // Built near midpoints, many are refused; most still are not.
    EXPECT_GT(tally.refused, 0);
    EXPECT_GT(tally.decided, tally.refused);
}

TEST(UnquantizeInDouble, SubnormalAndHugeResultsAreLeftToLongDouble) {
    float got;
    EXPECT_FALSE(unquantize_in_double(1, 0.0, 1e-40, 0.0, &got));
    EXPECT_FALSE(unquantize_in_double(30000, 0.44, 3e34, 0.0, &got));
    EXPECT_TRUE(unquantize_in_double(3, 0.44, 1.0, 0.6, &got));
    EXPECT_EQ(got, reference_unquantize(3, 0.44f, 1.0f, 1.2f));
}

// One coded subband of `count` values in a count x 1 image.
struct Line {
    int count;
    WsqSubband subbands[kSubbands] = {};
    explicit Line(int n) : count(n) { subbands[0] = WsqSubband{0, 0, n, 1}; }
};

TEST(QuantizeFastPath, WholeQuantizerMatchesLongDoubleOnBoundaryValues) {
    const float q = 0.37f, hz = 0.6f * q * 0.5f * 2.0f;
    std::vector<float> image;
    for (int index = 1; index < 2000; index += 7)
        for (float v : near_integer_values(q, hz, index)) {
            image.push_back(v);
            image.push_back(-v);
        }
    Line line(static_cast<int>(image.size()));
    WsqQuantization quant{};
    quant.bin_width[0] = q;
    quant.zero_bin_width[0] = 2.0f * hz;
    DiagCapture quiet;
    int16_t* sip = nullptr;
    int count = 0;
    ASSERT_EQ(
        quantize_coefficients(&sip, &count, &quant, line.subbands, image.data(), line.count, 1), 0);
    ASSERT_EQ(count, line.count);
    const float half_zero = quant.zero_bin_width[0] * 0.5f;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(sip[i], reference_quantize(image[i], q, half_zero)) << image[i];
    std::free(sip);
}

TEST(QuantizeFastPath, WholeInverseQuantizerMatchesLongDouble) {
    std::vector<int16_t> sip;
    for (int n = -32768; n <= 32767; n += 3)
        if (n != 0) sip.push_back(static_cast<int16_t>(n));
    Line line(static_cast<int>(sip.size()));
    WsqQuantTable table;
    table.defined = 1;
    table.bin_center = 0.44f;
    table.bin_width[0] = 1.2345678f;
    table.zero_bin_width[0] = 1.4814814f;
    float* out = nullptr;
    ASSERT_EQ(unquantize(&out, &table, line.subbands, sip.data(), line.count, 1), 0);
    for (int i = 0; i < line.count; ++i)
        ASSERT_EQ(out[i], reference_unquantize(sip[i], 0.44f, 1.2345678f, 1.4814814f)) << sip[i];
    std::free(out);
}

}  // namespace
}  // namespace quorvel::wsq
