// The 9/7 wavelet filter bank: 1-D analysis and synthesis with symmetric edge extension, and
// the 2-D decomposition (encoder) and reconstruction (decoder) over the 20 regions of tree.h.
// Every sum is rounded to single precision after each product is added, in tap order: the
// stream bytes depend on it.
#pragma once

#include <functional>
#include <vector>

#include "wsq/error_codes.h"
#include "wsq/tree.h"

namespace quorvel::wsq {

struct WsqTransformTable;

inline constexpr int kLowPassTaps = 9;   // analysis low-pass
inline constexpr int kHighPassTaps = 7;  // analysis high-pass

// The analysis filters, built from their IEEE 754 bit patterns.
extern const float kAnalysisLowPass[kLowPassTaps];
extern const float kAnalysisHighPass[kHighPassTaps];

// The edge rules need every transformed line to hold at least 6 samples, which holds exactly
// when the image is at least 81 x 81 (the smallest region is about 1/16 of each side).
inline constexpr int kMinFilterBankSize = 81;
inline constexpr int kMinLineLength = 6;

// True when a width x height image can go through the filter bank.
bool filter_bank_fits(int width, int height);

// One pass of 1-D analysis over `lines` lines of `length` samples (length >= kMinLineLength).
// Line l starts at l * line_step in both arrays; its samples are sample_step apart. The
// ceil(length/2) low outputs come first, or the floor(length/2) high outputs when `invert`.
void analysis_step(float* out, const float* in, int lines, int length, int line_step,
                   int sample_step, const float* hi, int hsize, const float* lo, int lsize,
                   int invert);

// One pass of 1-D synthesis with a 7-tap low-pass and a 9-tap high-pass synthesis filter;
// the input line holds the low band first, or the high band first when `invert`.
void synthesis_step(float* out, const float* in, int lines, int length, int line_step,
                    int sample_step, const float* lo, int lsize, const float* hi, int hsize,
                    int invert);

// Decomposes width x height floats in place over the 20 nodes. 0, -94 or -98.
// threads > 1 splits the large passes among that many threads (the same bits).
int wsq_decompose(float* image, int width, int height, const WsqWaveletNode* nodes, const float* hi,
                  int hsize, const float* lo, int lsize, int threads = 1);
// The same with a scratch buffer the caller keeps between calls (grown to width x height).
int wsq_decompose(float* image, std::vector<float>& scratch, int width, int height,
                  const WsqWaveletNode* nodes, const float* hi, int hsize, const float* lo,
                  int lsize, int threads);

// Reconstructs in place with the synthesis filters of the transform table.
// 0, -95, -96, -97, -98 or -99.
int wsq_reconstruct(float* image, int width, int height, const WsqWaveletNode* nodes,
                    const WsqTransformTable* table);
// Receives row y (width floats) of a reconstruction; rows may come from several threads at
// once, each row once.
using RowSink = std::function<void(int y, const float* row)>;

// The same with a scratch buffer the caller keeps between calls (grown to width x height);
// threads > 1 splits the large passes among that many threads (the same bits). With
// last_rows, the last level goes row by row to it (while the row is in cache) and the image
// is left holding the level before.
int wsq_reconstruct(float* image, std::vector<float>& scratch, int width, int height,
                    const WsqWaveletNode* nodes, const WsqTransformTable* table, int threads = 1,
                    const RowSink* last_rows = nullptr);

}  // namespace quorvel::wsq
