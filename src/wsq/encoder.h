// Pieces of the encoder driver that tests and the file adapter can reach.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wsq/error_codes.h"

namespace quorvel::wsq {

// The extremes and the sum of some pixels: integers, so parts combine exactly in any order.
struct PixelRange {
    int smallest = 255, largest = 0;
    int64_t sum = 0;  // 32 bits would overflow beyond 8,421,504 pixels
};
// Adds n pixels from data to range.
void add_pixel_range(PixelRange& range, const unsigned char* data, size_t n);

// Normalises gray pixels: *shift is their mean, *scale the larger distance from it to the
// extremes divided by 128, and every pixel becomes (p - shift) / scale in single precision.
// threads > 1 splits both walks over the pixels among that many threads (the same floats).
void pixels_to_float(float* fdata, float* shift, float* scale, const unsigned char* data,
                     size_t num_pix, int threads = 1);

}  // namespace quorvel::wsq

#include "wsq/quantize.h"
#include "wsq/tree.h"
#include "wsq/workspace.h"

namespace quorvel::wsq {

// The state an encode overwrites: the subband trees and the quantization record. The C
// exports use the process-wide instances; a caller with its own pair can encode in parallel
// with them.
struct EncoderState {
    WsqTrees* trees;
    WsqQuantization* quant;
    int threads = 1;  // more splits the filter bank's large passes (the same stream)
    EncodeWorkspace* work = nullptr;  // buffers kept for the next encode; none: per encode
};

EncoderState process_encoder_state();

// wsq_encode_1 (wsq.h) on the given state.
int wsq_encode(EncoderState& state, unsigned char** odata, int* olen, float r_bitrate,
               const unsigned char* idata, int w, int h, int d, int ppi, const char* comment_text);

}  // namespace quorvel::wsq
