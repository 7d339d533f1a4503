// Double-precision shortcuts for the two extended-precision formulas of quantization. Each
// either returns the result the long double formula gives, or false: the caller then runs
// the long double formula itself.
//
// Why they are exact. Let u = 2^-53 (double) and w = 2^-64 (long double). Every operation
// below is finite and far from underflow (operands are floats or 16-bit integers, so every
// product and quotient lies within 2^-300 .. 2^300), so each rounds with a relative error of at
// most u, resp. w.
// Quantization: X = a / q +- 1 in long double (a = v -+ hz) and Y = a * (1/q) +- 1 in double
// approximate R = a / q +- 1 with |X - R| <= 3.1 w (|a/q| + 1) and |Y - R| <= 4.1 u (|a/q| + 1).
// As |a/q| + 1 <= |R| + 2 <= 2 (|Y| + 1) + tiny, |X - Y| <= 8.5 u (|Y| + 1) < E / 3.7 with
// E = 2^-48 (|Y| + 1). trunc is constant between consecutive integers, so when no integer lies
// in [Y - E, Y + E] (tested with roundings of at most E / 16), trunc(X) = trunc(Y); |Y| < 32766
// also keeps X inside the 16-bit clamps.
// Inverse quantization: X and Y = p +- hz, p = (n -+ c) * q, in long double and in double;
// three roundings each give |X - Y| <= 3.3 u (|p| + |hz|) < E / 4.8 with E = 2^-49 (|p| + |hz|).
// Rounding to float is constant strictly between the midpoints around f = (float)Y: on Y's
// side the midpoint lies gap = |g - f| / 2 from f (g the neighbouring float there), on the
// other side at least |f| 2^-25 (f normal). So when |Y - f| + E < gap and E < |f| 2^-25,
// (float)X = f. |Y| - |f| is exact by Sterbenz's lemma, gap is exact, and the sum's rounding
// is within the margin.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace quorvel::wsq {

// The dead-zone quantizer's index for v outside the zero bin: trunc((v - hz) / q + 1) for
// v > 0, trunc((v + hz) / q - 1) otherwise, from inv_q = 1.0 / q.
inline bool quantize_in_double(float v, double inv_q, float hz, int16_t* out) {
    const double a = v > 0 ? static_cast<double>(v) - hz : static_cast<double>(v) + hz;
    const double y = v > 0 ? a * inv_q + 1.0 : a * inv_q - 1.0;
    if (!(std::fabs(y) < 32766.0)) return false;  // also not a number
    const double e = (std::fabs(y) + 1.0) * 0x1p-48;
    const double t = std::trunc(y);
    const double below = y >= 0 ? t : t - 1.0;  // the integers around y: below and below + 1
    if (!(y - e > below && y + e < below + 1.0)) return false;
    *out = static_cast<int16_t>(t);
    return true;
}

// The inverse quantizer's value of a nonzero index n: (n - c) * q + hz for n > 0,
// (n + c) * q - hz for n < 0, rounded once to float.
inline bool unquantize_in_double(int n, double c, double q, double hz, float* out) {
    const double p = (n > 0 ? n - c : n + c) * q;
    const double y = n > 0 ? p + hz : p - hz;
    const float f = static_cast<float>(y);
    const float af = std::fabs(f);
    if (!(af >= 0x1p-126f && af < 0x1p127f)) return false;  // subnormal, huge or not a number
    const double ay = std::fabs(y);
    const uint32_t bits = std::bit_cast<uint32_t>(af);
    const float g = std::bit_cast<float>(ay >= af ? bits + 1 : bits - 1);  // neighbour, y's side
    const double gap = std::fabs(static_cast<double>(g) - af) / 2;
    const double e = (std::fabs(p) + std::fabs(hz)) * 0x1p-49;
    if (!(std::fabs(ay - af) + e < gap && e < af * 0x1p-25)) return false;
    *out = f;
    return true;
}

}  // namespace quorvel::wsq
