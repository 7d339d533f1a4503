#include "wsq/quantize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/diag.h"
#include "wsq/filter_bank.h"
#include "wsq/records.h"

namespace quorvel::wsq {
namespace {

// A quantization record whose variances are all below the threshold except those given.
WsqQuantization record_with(float bitrate, std::initializer_list<std::pair<int, float>> vars) {
    WsqQuantization q{};
    q.bitrate = bitrate;
    for (const auto& [k, v] : vars) q.variance[k] = v;
    return q;
}

// Variances falling with frequency as in a real print, then the given overrides. With only
// a handful of coded subbands the bitrate target cannot be met and every width collapses.
WsqQuantization spectrum_with(float bitrate, std::initializer_list<std::pair<int, float>> vars) {
    WsqQuantization q{};
    q.bitrate = bitrate;
    for (int k = 0; k < kCodedSubbands; ++k) q.variance[k] = 4000.0f / (1.0f + k) + 2.0f;
    for (const auto& [k, v] : vars) q.variance[k] = v;
    return q;
}

TEST(SubbandVariance, UsesOnlyTheCentralWindow) {
    // A 16 x 32 subband: window columns 2..13 (16/8, 3*16/4 wide), rows 9..22 (9*32/32,
    // 7*32/16 high). Inside, alternating 1 and 3 (variance of 168 samples); outside, 1000.
    const int w = 16, h = 32;
    std::vector<float> image(w * h, 1000.0f);
    int n = 0;
    for (int y = 9; y < 23; ++y)
        for (int x = 2; x < 14; ++x) image[y * w + x] = (n++ % 2) ? 3.0f : 1.0f;
    WsqSubband subbands[kSubbands];
    for (WsqSubband& s : subbands) s = WsqSubband{0, 0, w, h};
    WsqQuantization q{};
    subband_variance(&q, subbands, image.data(), w, h);
    const double expected = 168.0 / 167.0;  // mean 2, squared deviations all 1
    for (int k = 0; k < kCodedSubbands; ++k) EXPECT_NEAR(q.variance[k], expected, 1e-6) << k;
}

TEST(BinWidths, ThresholdIsTheDoubleConstant) {
    // 1.01 is compared as a double: the float just below it (1.01f) is not coded, the next
    // float up is.
    const float above = std::nextafter(1.01f, 2.0f);
    WsqQuantization q = spectrum_with(0.75f, {{10, 1.009f}, {11, 1.01f}, {12, above}});
    compute_bin_widths(&q);
    EXPECT_GT(q.bin_width[0], 0.0f);
    EXPECT_EQ(q.bin_width[10], 0.0f);
    EXPECT_EQ(q.bin_width[11], 0.0f);
    EXPECT_GT(q.bin_width[12], 0.0f);
    EXPECT_EQ(q.zero_bin_width[10], 0.0f);
    for (int k = 60; k < kSubbands; ++k) EXPECT_EQ(q.bin_width[k], 0.0f);
}

TEST(BinWidths, FourLowestBandsOnlyGiveTheClosedFormScale) {
    // With only subbands 0..3 coded: S = 1/256, P = sigma^(1/256), so
    // q = 2^(256 r - 1) * 0.4 / sigma and every bin width is 1 / q.
    const float r = 0.01f, var = 100.0f;
    WsqQuantization q = record_with(r, {{0, var}, {1, var}, {2, var}, {3, var}});
    compute_bin_widths(&q);
    const double scale = std::pow(2.0, 256.0 * r - 1.0) * 0.4 / std::sqrt(var);
    for (int k = 0; k < 4; ++k) {
        // P is rounded to single precision before its 256th power: about 2e-5 relative.
        EXPECT_NEAR(q.bin_width[k], 1.0 / scale, 1e-4 / scale) << k;
        EXPECT_EQ(q.bin_width[k], q.bin_width[0]);
        EXPECT_FLOAT_EQ(q.zero_bin_width[k], 1.2f * q.bin_width[k]);
    }
}

TEST(BinWidths, RelativeWidthsFollowTheWeightsAndVariances) {
    WsqQuantization q = spectrum_with(
        0.75f,
        {{0, 500.0f}, {1, 480.0f}, {7, 50.0f}, {40, 12.0f}, {52, 30.0f}, {54, 30.0f}, {59, 8.0f}});
    compute_bin_widths(&q);
    ASSERT_GT(q.bin_width[0], 0.0f);
    EXPECT_EQ(q.bin_width[1], q.bin_width[0]);
    const std::pair<int, double> weighted[] = {
        {7, 1.0}, {40, 1.0}, {52, 1.32}, {54, 1.42}, {59, 1.08}};
    for (const auto& [k, a] : weighted) {
        const double relative = 10.0 / (a * std::log(static_cast<double>(q.variance[k])));
        EXPECT_NEAR(q.bin_width[k] / q.bin_width[0], relative, 1e-5 * relative) << k;
    }
}

TEST(BinWidths, HigherBitrateGivesNarrowerBins) {
    float previous = INFINITY;
    for (float r : {0.5f, 0.75f, 1.5f, 2.25f, 4.0f}) {
        WsqQuantization q = spectrum_with(r, {});
        compute_bin_widths(&q);
        EXPECT_LT(q.bin_width[0], previous) << r;
        previous = q.bin_width[0];
    }
}

TEST(BinWidths, EmptyWorkingSetLeavesEveryBinWidthZero) {
    WsqQuantization q = record_with(-1.0f, {{0, 100.0f}});
    compute_bin_widths(&q);
    for (int k = 0; k < kSubbands; ++k) EXPECT_EQ(q.bin_width[k], 0.0f) << k;
}

TEST(BinWidths, NotANumberVarianceIsNotCoded) {
    WsqQuantization q = spectrum_with(0.75f, {{0, NAN}});
    compute_bin_widths(&q);
    EXPECT_EQ(q.bin_width[0], 0.0f);
    EXPECT_GT(q.bin_width[1], 0.0f);
}

// Subbands of 2 x 1 values each, packed in one row of a 128 x 1 image.
struct Strip {
    WsqSubband subbands[kSubbands];
    std::vector<float> image = std::vector<float>(128, 0.0f);
    Strip() {
        for (int k = 0; k < kSubbands; ++k) subbands[k] = WsqSubband{2 * k, 0, 2, 1};
    }
};

std::vector<int16_t> run_quantizer(const WsqQuantization& q, const Strip& s, std::string* log) {
    DiagCapture capture;
    int16_t* sip = nullptr;
    int count = -1;
    EXPECT_EQ(quantize_coefficients(&sip, &count, &q, s.subbands, s.image.data(), 128, 1), 0);
    std::vector<int16_t> out(sip, sip + count);
    std::free(sip);
    if (log) *log = capture.text();
    return out;
}

TEST(Quantize, DeadZoneBoundariesAndTruncation) {
    Strip s;
    WsqQuantization q{};
    q.bin_width[0] = q.bin_width[1] = q.bin_width[2] = 1.0f;
    q.zero_bin_width[0] = q.zero_bin_width[1] = q.zero_bin_width[2] = 1.2f;
    const float half = 1.2f * 0.5f;
    const float values[6] = {half,  std::nextafter(half, 1.0f),  1.7f,
                             -half, -std::nextafter(half, 1.0f), -1.7f};
    for (int i = 0; i < 6; ++i) s.image[i] = values[i];
    std::string log;
    const std::vector<int16_t> got = run_quantizer(q, s, &log);
    EXPECT_EQ(got, (std::vector<int16_t>{0, 1, 2, 0, -1, -2}));
    // Every other subband has a zero bin width and is reported, not stored.
    EXPECT_NE(log.find("3 -> 0.000000\n"), std::string::npos);
    EXPECT_NE(log.find("59 -> 0.000000\n"), std::string::npos);
    EXPECT_EQ(log.find("60 -> "), std::string::npos);
    EXPECT_EQ(log.find("\n2 -> "), std::string::npos);
}

TEST(Quantize, ValuesBeyondSixteenBitsAreClamped) {
    Strip s;
    WsqQuantization q{};
    q.bin_width[0] = 0.001f;
    q.zero_bin_width[0] = 0.0012f;
    s.image[0] = 5000.0f;
    s.image[1] = -5000.0f;
    const std::vector<int16_t> got = run_quantizer(q, s, nullptr);
    EXPECT_EQ(got, (std::vector<int16_t>{32767, -32768}));
}

TEST(Unquantize, BinCentreAndZeroBin) {
    Strip s;
    WsqQuantTable table;
    table.defined = 1;
    table.bin_center = 0.44f;
    table.bin_width[0] = 2.0f;
    table.zero_bin_width[0] = 2.4f;
    table.bin_width[2] = 1.0f;
    table.zero_bin_width[2] = 1.2f;
    const int16_t sip[4] = {1, -1, 0, 3};
    float* out = nullptr;
    ASSERT_EQ(unquantize(&out, &table, s.subbands, sip, 128, 1), 0);
    EXPECT_FLOAT_EQ(out[0], 1.16f * 2.0f);
    EXPECT_FLOAT_EQ(out[1], -1.16f * 2.0f);
    // Subband 1 has no bin width: its place stays zero and it takes no coefficients.
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_FLOAT_EQ(out[5], (3 - 0.44f) * 1.0f + 0.6f);
    for (int i = 6; i < 128; ++i) EXPECT_EQ(out[i], 0.0f);
    std::free(out);
}

TEST(Unquantize, UndefinedTableIsRefused) {
    Strip s;
    WsqQuantTable table;
    const int16_t sip[1] = {0};
    float* out = nullptr;
    DiagCapture capture;
    EXPECT_EQ(unquantize(&out, &table, s.subbands, sip, 128, 1), kUnquantizeUndefined);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(capture.text(), "ERROR: unquantize : quantization table parameters not defined!\n");
}

// The whole front half on fingerprint-like images: the block lengths always account for every
// coefficient kept, also when subbands drop out.
TEST(Quantize, BlockLengthsAddUpToTheCoefficientCount) {
    for (const auto& [w, h, r] : {std::tuple{300, 300, 0.75f}, std::tuple{545, 622, 2.25f},
                                  std::tuple{97, 83, 0.1f}, std::tuple{256, 400, 6.0f}}) {
        const std::vector<uint8_t> px = quorvel::testing::ridge_pattern(w, h, 11);
        std::vector<float> image(px.begin(), px.end());
        for (float& v : image) v = (v - 120.0f) / 1.3f;
        WsqTrees t{};
        build_subband_trees(t, w, h);
        ASSERT_EQ(
            wsq_decompose(image.data(), w, h, t.nodes, kAnalysisHighPass, 7, kAnalysisLowPass, 9),
            0);
        WsqQuantization q{};
        q.bitrate = r;
        subband_variance(&q, t.subbands, image.data(), w, h);
        DiagCapture quiet;
        int16_t* sip = nullptr;
        int count = 0;
        ASSERT_EQ(quantize(&sip, &count, &q, t.subbands, image.data(), w, h), 0);
        std::free(sip);
        int b1 = 0, b2 = 0, b3 = 0;
        block_coefficient_counts(&b1, &b2, &b3, &q, t.nodes, t.subbands);
        EXPECT_EQ(b1 + b2 + b3, count) << w << " x " << h << " @ " << r;
        EXPECT_GT(count, 0);
    }
}

}  // namespace
}  // namespace quorvel::wsq
