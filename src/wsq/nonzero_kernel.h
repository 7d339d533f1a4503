// Which coefficients of a run are not zero, one bit each: the block coder walks the set bits
// rather than testing every coefficient, most of which are zero or follow no pattern.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::wsq {

// Sets bit i % 64 of bits[i / 64] for each nonzero p[i], i < n; the other bits of the
// (n + 63) / 64 words are cleared.
void nonzero_bits(const int16_t* p, size_t n, uint64_t* bits);

}  // namespace quorvel::wsq
