#include "wsq/filter_bank.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/diag.h"
#include "wsq/records.h"

namespace quorvel::wsq {
namespace {

std::vector<float> floats(std::initializer_list<uint32_t> bits) {
    std::vector<float> out;
    for (uint32_t b : bits) out.push_back(std::bit_cast<float>(b));
    return out;
}

// The synthesis filters a transform table written by our encoder decodes to.
struct SynthesisTable {
    std::vector<float> lo = floats(
        {0xbd842cf7, 0xbd26a9f5, 0x3ed61030, 0x3f49da32, 0x3ed61030, 0xbd26a9f5, 0xbd842cf7});
    std::vector<float> hi = floats({0x3d1af202, 0x3cc35ff5, 0xbde28f0a, 0xbec13af1, 0x3f5a4a75,
                                    0xbec13af1, 0xbde28f0a, 0x3cc35ff5, 0x3d1af202});
    WsqTransformTable table() {
        WsqTransformTable t;
        t.lofilt = lo.data();
        t.hifilt = hi.data();
        t.losize = 7;
        t.hisize = 9;
        t.lo_defined = t.hi_defined = 1;
        return t;
    }
};

TEST(FilterBank, AnalysisFiltersHaveTheirBitPatterns) {
    const uint32_t lo[9] = {0x3d1af203, 0xbcc35ff4, 0xbde28f0c, 0x3ec13af2, 0x3f5a4a76,
                            0x3ec13af2, 0xbde28f0c, 0xbcc35ff4, 0x3d1af203};
    const uint32_t hi[7] = {0x3d842cf6, 0xbd26a9f2, 0xbed61031, 0x3f49da31,
                            0xbed61031, 0xbd26a9f2, 0x3d842cf6};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(std::bit_cast<uint32_t>(kAnalysisLowPass[k]), lo[k]) << k;
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(std::bit_cast<uint32_t>(kAnalysisHighPass[k]), hi[k]) << k;
    EXPECT_FLOAT_EQ(kAnalysisLowPass[4], 0.852698684f);
    EXPECT_FLOAT_EQ(kAnalysisHighPass[3], 0.788485587f);
}

TEST(FilterBank, ConstantLineGivesRootTwoLowAndZeroHigh) {
    for (int n : {6, 7, 81, 100}) {
        std::vector<float> line(n, 10.0f), out(n, -1.0f);
        analysis_step(out.data(), line.data(), 1, n, n, 1, kAnalysisHighPass, 7, kAnalysisLowPass,
                      9, 0);
        const int nlow = (n + 1) / 2;
        for (int p = 0; p < nlow; ++p) EXPECT_NEAR(out[p], 10.0f * std::sqrt(2.0f), 1e-4) << n;
        for (int p = nlow; p < n; ++p) EXPECT_NEAR(out[p], 0.0f, 1e-4) << n;
    }
}

// Straight from the definition, one sample at a time: mirrored indices, sums in tap order,
// each addition rounded to single precision.
float reference_output(const std::vector<float>& x, int p, bool low) {
    const int n = static_cast<int>(x.size());
    auto r = [n](int i) { return i < 0 ? -i : (i > n - 1 ? 2 * (n - 1) - i : i); };
    const float* taps = low ? kAnalysisLowPass : kAnalysisHighPass;
    const int ntaps = low ? 9 : 7, start = low ? 2 * p - 4 : 2 * p - 2;
    float sum = taps[0] * x[r(start)];
    for (int k = 1; k < ntaps; ++k) sum = std::fmaf(taps[k], x[r(start + k)], sum);
    return sum;
}

// Rows and columns of one random block, analysed with both layouts and both orders, must
// give exactly the per-sample definition.
TEST(FilterBank, AnalysisMatchesTheDefinitionBitForBitInEveryLayout) {
    const int lines = 5, n = 13;
    std::vector<float> block(lines * n);
    uint32_t state = 12345;
    for (float& v : block) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int>(state >> 24) - 128) / 7.0f;
    }
    for (int invert = 0; invert <= 1; ++invert) {
        std::vector<float> rows(block.size()), cols(block.size());
        // As rows: samples 1 apart, lines n apart. As columns of the transpose.
        analysis_step(rows.data(), block.data(), lines, n, n, 1, kAnalysisHighPass, 7,
                      kAnalysisLowPass, 9, invert);
        std::vector<float> transposed(block.size());
        for (int l = 0; l < lines; ++l)
            for (int i = 0; i < n; ++i) transposed[i * lines + l] = block[l * n + i];
        analysis_step(cols.data(), transposed.data(), lines, n, 1, lines, kAnalysisHighPass, 7,
                      kAnalysisLowPass, 9, invert);
        const int nlow = (n + 1) / 2, nhigh = n / 2;
        for (int l = 0; l < lines; ++l) {
            std::vector<float> x(block.begin() + l * n, block.begin() + (l + 1) * n);
            for (int p = 0; p < nlow + nhigh; ++p) {
                const bool low = p < nlow;
                const float want = reference_output(x, low ? p : p - nlow, low);
                const int pos = invert ? (low ? nhigh + p : p - nlow) : p;
                const uint32_t bits = std::bit_cast<uint32_t>(want);
                EXPECT_EQ(std::bit_cast<uint32_t>(rows[l * n + pos]), bits);
                EXPECT_EQ(std::bit_cast<uint32_t>(cols[pos * lines + l]), bits);
            }
        }
    }
}

// Output n of a line of bands, straight from the definition: low-band products in order,
// then the high-band products, each addition rounded to single precision.
float reference_synthesis(const std::vector<float>& bands, int n, bool invert,
                          const SynthesisTable& s) {
    const int len = static_cast<int>(bands.size()), llen = (len + 1) / 2, hlen = len / 2;
    const bool even = len % 2 == 0;
    const float* low = bands.data() + (invert ? hlen : 0);
    const float* high = bands.data() + (invert ? 0 : llen);
    auto rl = [&](int i) {
        return i < 0 ? -i : i < llen ? i : even ? 2 * llen - 1 - i : 2 * (llen - 1) - i;
    };
    auto rh = [&](int i) {
        return i < 0 ? -1 - i : i < hlen ? i : even ? 2 * (hlen - 1) - i : 2 * hlen - 1 - i;
    };
    const int m = n / 2, odd = n % 2;
    float sum = s.lo[1 - odd] * low[rl(m - 1)];
    for (int j = 1; j < 3 + odd; ++j)
        sum = std::fmaf(s.lo[2 * j + 1 - odd], low[rl(m - 1 + j)], sum);
    for (int j = 0; j < 4 + odd; ++j)
        sum = std::fmaf(s.hi[2 * j + 1 - odd], high[rh(m - 2 + j)], sum);
    return sum;
}

TEST(FilterBank, SynthesisMatchesTheDefinitionBitForBitInEveryLayout) {
    SynthesisTable s;
    const int lines = 3;
    for (int n : {6, 7, 12, 13}) {
        std::vector<float> block(lines * n);
        for (size_t i = 0; i < block.size(); ++i) block[i] = std::sin(0.7f * i) * 40.0f;
        std::vector<float> transposed(block.size());
        for (int l = 0; l < lines; ++l)
            for (int i = 0; i < n; ++i) transposed[i * lines + l] = block[l * n + i];
        for (int invert = 0; invert <= 1; ++invert) {
            std::vector<float> rows(block.size()), cols(block.size());
            synthesis_step(rows.data(), block.data(), lines, n, n, 1, s.lo.data(), 7, s.hi.data(),
                           9, invert);
            synthesis_step(cols.data(), transposed.data(), lines, n, 1, lines, s.lo.data(), 7,
                           s.hi.data(), 9, invert);
            for (int l = 0; l < lines; ++l) {
                const std::vector<float> line(block.begin() + l * n, block.begin() + (l + 1) * n);
                for (int i = 0; i < n; ++i) {
                    const uint32_t bits =
                        std::bit_cast<uint32_t>(reference_synthesis(line, i, invert, s));
                    EXPECT_EQ(std::bit_cast<uint32_t>(rows[l * n + i]), bits) << n << " " << i;
                    EXPECT_EQ(std::bit_cast<uint32_t>(cols[i * lines + l]), bits) << n << " " << i;
                }
            }
        }
    }
}

TEST(FilterBank, SynthesisUndoesAnalysisOnOddAndEvenLines) {
    SynthesisTable s;
    for (int n : {6, 7, 8, 9, 40, 41}) {
        for (int invert = 0; invert <= 1; ++invert) {
            std::vector<float> x(n), bands(n), back(n);
            for (int i = 0; i < n; ++i) x[i] = static_cast<float>((i * 37) % 23) - 11.0f;
            analysis_step(bands.data(), x.data(), 1, n, n, 1, kAnalysisHighPass, 7,
                          kAnalysisLowPass, 9, invert);
            synthesis_step(back.data(), bands.data(), 1, n, n, 1, s.lo.data(), 7, s.hi.data(), 9,
                           invert);
            for (int i = 0; i < n; ++i) EXPECT_NEAR(back[i], x[i], 1e-3) << n << " " << i;
        }
    }
}

std::vector<float> ridge_floats(int w, int h, uint32_t seed) {
    const std::vector<uint8_t> px = quorvel::testing::ridge_pattern(w, h, seed);
    std::vector<float> out(px.size());
    for (size_t i = 0; i < px.size(); ++i) out[i] = (px[i] - 128.0f) / 1.1f;
    return out;
}

TEST(FilterBank, DecomposeThenReconstructRestoresTheImage) {
    SynthesisTable s;
    const WsqTransformTable table = s.table();
    for (const auto& size : {std::pair{81, 81}, std::pair{300, 301}, std::pair{545, 622}}) {
        const int w = size.first, h = size.second;
        std::vector<float> image = ridge_floats(w, h, 3), original = image;
        WsqTrees trees{};
        build_subband_trees(trees, w, h);
        ASSERT_EQ(wsq_decompose(image.data(), w, h, trees.nodes, kAnalysisHighPass, 7,
                                kAnalysisLowPass, 9),
                  0);
        double moved = 0;
        for (size_t i = 0; i < image.size(); ++i) moved += std::fabs(image[i] - original[i]);
        EXPECT_GT(moved, 1.0 * image.size());  // really transformed
        ASSERT_EQ(wsq_reconstruct(image.data(), w, h, trees.nodes, &table), 0);
        float worst = 0;
        for (size_t i = 0; i < image.size(); ++i)
            worst = std::max(worst, std::fabs(image[i] - original[i]));
        EXPECT_LT(worst, 1e-3f) << w << " x " << h;
    }
}

TEST(FilterBank, ImagesBelowTheMinimumAreRefusedWithoutTouchingThem) {
    SynthesisTable s;
    const WsqTransformTable table = s.table();
    for (const auto& size :
         {std::pair{80, 81}, std::pair{81, 80}, std::pair{0, 100}, std::pair{16, 16}}) {
        const int w = size.first, h = size.second;
        std::vector<float> image(static_cast<size_t>(w) * h + 1, 3.0f);
        WsqTrees trees{};
        build_subband_trees(trees, w, h);
        DiagCapture capture;
        EXPECT_EQ(wsq_decompose(image.data(), w, h, trees.nodes, kAnalysisHighPass, 7,
                                kAnalysisLowPass, 9),
                  kFilterBankTooSmall);
        EXPECT_EQ(wsq_reconstruct(image.data(), w, h, trees.nodes, &table), kFilterBankTooSmall);
        EXPECT_NE(capture.text().find("ERROR : wsq_decompose : image too small"),
                  std::string::npos);
        for (float v : image) ASSERT_EQ(v, 3.0f);
    }
    EXPECT_TRUE(filter_bank_fits(81, 81));
    EXPECT_FALSE(filter_bank_fits(80, 81));
}

TEST(FilterBank, ReconstructRefusesMissingOrForeignFilters) {
    SynthesisTable s;
    std::vector<float> image(100 * 100, 1.0f);
    WsqTrees trees{};
    build_subband_trees(trees, 100, 100);
    DiagCapture capture;
    WsqTransformTable t = s.table();
    t.lo_defined = 0;
    EXPECT_EQ(wsq_reconstruct(image.data(), 100, 100, trees.nodes, &t), kReconstructNoLowPass);
    EXPECT_EQ(capture.text(), "ERROR: wsq_reconstruct : Lopass filter coefficients not defined\n");
    capture.clear();
    t = s.table();
    t.hi_defined = 0;
    EXPECT_EQ(wsq_reconstruct(image.data(), 100, 100, trees.nodes, &t), kReconstructNoHighPass);
    EXPECT_EQ(capture.text(), "ERROR: wsq_reconstruct : Hipass filter coefficients not defined\n");
    t = s.table();
    t.losize = 9;
    t.hisize = 7;
    EXPECT_EQ(wsq_reconstruct(image.data(), 100, 100, trees.nodes, &t), kReconstructFilterLengths);
    t.lofilt = nullptr;
    t.losize = 7;
    t.hisize = 9;
    EXPECT_EQ(wsq_reconstruct(image.data(), 100, 100, trees.nodes, &t), kReconstructFilterLengths);
    for (float v : image) ASSERT_EQ(v, 1.0f);
}

}  // namespace
}  // namespace quorvel::wsq
