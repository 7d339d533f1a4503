// The dead-zone quantizer over a run of coefficients of one subband: a SIMD kernel (Highway,
// chosen at run time) that takes the proven double shortcut of exact_fast_paths.h lane by
// lane, and the scalar loop; both give the long double formula's integers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::wsq {

// out[i] = 0 in the zero bin |v[i]| <= hz (and for not-a-number), else
// trunc((v - hz) / q + 1) for v > 0, trunc((v + hz) / q - 1) otherwise, in long double,
// clamped to 16 bits.
void quantize_run(int16_t* out, const float* v, size_t n, float q, float hz);

}  // namespace quorvel::wsq
