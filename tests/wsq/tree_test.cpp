#include "wsq/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace quorvel::wsq {
namespace {

void expect_node(const WsqWaveletNode& n, int x, int y, int dx, int dy) {
    EXPECT_EQ(n.x, x);
    EXPECT_EQ(n.y, y);
    EXPECT_EQ(n.dx, dx);
    EXPECT_EQ(n.dy, dy);
}

void expect_subband(const WsqSubband& s, int x, int y, int lx, int ly) {
    EXPECT_EQ(s.x, x);
    EXPECT_EQ(s.y, y);
    EXPECT_EQ(s.lx, lx);
    EXPECT_EQ(s.ly, ly);
}

TEST(SubbandTrees, GeometryOf545x622) {
    WsqTrees t{};
    build_subband_trees(t, 545, 622);
    expect_node(t.nodes[2], 273, 0, 272, 311);
    expect_node(t.nodes[4], 137, 0, 136, 156);
    expect_node(t.nodes[5], 0, 156, 137, 155);
    expect_node(t.nodes[10], 0, 156, 69, 77);
    expect_node(t.nodes[19], 0, 0, 35, 39);
    expect_subband(t.subbands[0], 0, 0, 18, 20);
    expect_subband(t.subbands[3], 18, 20, 17, 19);
    expect_subband(t.subbands[37], 0, 195, 35, 38);
    expect_subband(t.subbands[51], 137, 156, 136, 155);
    expect_subband(t.subbands[52], 273, 0, 136, 156);
    expect_subband(t.subbands[58], 0, 466, 137, 156);
    expect_subband(t.subbands[63], 409, 466, 136, 156);
}

// Counts how often each pixel of a w x h image is covered by subbands first..last.
std::vector<int> coverage(const WsqTrees& t, int w, int h, int first, int last) {
    std::vector<int> hits(static_cast<size_t>(w) * h, 0);
    for (int k = first; k <= last; ++k) {
        const WsqSubband& s = t.subbands[k];
        for (int y = s.y; y < s.y + s.ly; ++y)
            for (int x = s.x; x < s.x + s.lx; ++x) ++hits[static_cast<size_t>(y) * w + x];
    }
    return hits;
}

TEST(SubbandTrees, SubbandsTileTheImageAndTheLowBandTilesNode14) {
    const int sizes[][2] = {{81, 81}, {545, 622}, {800, 750}, {300, 300}, {257, 129}, {1023, 97}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        WsqTrees t{};
        build_subband_trees(t, w, h);
        for (int k = 0; k < kSubbands; ++k) {
            const WsqSubband& s = t.subbands[k];
            ASSERT_GE(s.x, 0);
            ASSERT_GE(s.y, 0);
            ASSERT_LE(s.x + s.lx, w);
            ASSERT_LE(s.y + s.ly, h);
        }
        const std::vector<int> all = coverage(t, w, h, 0, kSubbands - 1);
        for (int hits : all) ASSERT_EQ(hits, 1);
        const std::vector<int> low = coverage(t, w, h, 0, 18);
        const WsqWaveletNode& n14 = t.nodes[14];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool inside =
                    x >= n14.x && x < n14.x + n14.dx && y >= n14.y && y < n14.y + n14.dy;
                ASSERT_EQ(low[static_cast<size_t>(y) * w + x], inside ? 1 : 0);
            }
    }
}

TEST(SubbandTrees, WideFramesKeepPositivePositions) {
    WsqTrees t{};
    build_subband_trees(t, 65535, 81);
    EXPECT_EQ(t.subbands[63].x + t.subbands[63].lx, 65535);
    for (const WsqSubband& s : t.subbands) EXPECT_GE(s.x, 0);
}

TEST(SubbandTrees, SmallestRegionHasSixSamplesAt81) {
    WsqTrees t{};
    build_subband_trees(t, 81, 81);
    int smallest = 1 << 30;
    for (const WsqWaveletNode& n : t.nodes) smallest = std::min({smallest, n.dx, n.dy});
    EXPECT_EQ(smallest, 6);
    build_subband_trees(t, 80, 81);
    EXPECT_EQ(t.nodes[19].dx, 5);
}

}  // namespace
}  // namespace quorvel::wsq
