// Pieces of the decoder driver that tests and other layers can reach.
#pragma once

#include <cstddef>

#include "wsq/error_codes.h"

namespace quorvel::wsq {

struct DecoderState;
struct WsqTrees;

// wsq_decode_mem (wsq.h) on the given decoder state and trees.
int wsq_decode(DecoderState& state, WsqTrees& trees, unsigned char** odata, int* ow, int* oh,
               int* od, int* oppi, int* lossyflag, const unsigned char* idata, int ilen);

// Converts reconstructed values to bytes: t = f * scale + shift (one rounding), u = t + 0.5
// (one rounding), then 0 below 0 or for not-a-number, 255 above 255, else u truncated.
void float_to_pixels(unsigned char* cdata, const float* fdata, size_t num_pix, float m_shift,
                     float r_scale);

}  // namespace quorvel::wsq
