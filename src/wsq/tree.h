// Geometry of the wavelet decomposition: the 20 regions one level of the 2-D transform is
// applied to, and the 64 subbands they leave behind. Both depend only on the image size, so
// encoder and decoder rebuild them for every image and nothing about them is stored.
#pragma once

#include <cstdint>

namespace quorvel::wsq {

inline constexpr int kWaveletNodes = 20;
inline constexpr int kSubbands = 64;
// Subbands 60..63 (the first level's diagonal band) are never quantized nor coded.
inline constexpr int kCodedSubbands = 60;

// One transform region.
struct WsqWaveletNode {
    int32_t x;   // left column
    int32_t y;   // top row
    int32_t dx;  // width in samples
    int32_t dy;  // height in samples
    int32_t ir;  // 1: the row pass puts its high-pass outputs first
    int32_t ic;  // 1: the column pass puts its high-pass outputs first
};

// One subband: its top-left corner and size in the transformed image. The fields are 32-bit
// (not 16) so that frames up to 65535 wide or high keep correct, non-negative positions.
struct WsqSubband {
    int32_t x;
    int32_t y;
    int32_t lx;  // width
    int32_t ly;  // height
};

// The node and subband arrays the codec works with; one process-wide instance serves the
// encoder and the decoder (they never run at the same time), others can be made freely.
struct WsqTrees {
    WsqWaveletNode nodes[kWaveletNodes];
    WsqSubband subbands[kSubbands];
};

// The instance the encoder and the decoder use.
WsqTrees& process_trees();

// Fills both arrays for a width x height image. Cannot fail; sizes below the filter bank's
// minimum (see filter_bank.h) give regions too small to transform but still a valid tiling.
void build_subband_trees(WsqWaveletNode* nodes, WsqSubband* subbands, int width, int height);
inline void build_subband_trees(WsqTrees& trees, int width, int height) {
    build_subband_trees(trees.nodes, trees.subbands, width, height);
}

}  // namespace quorvel::wsq
