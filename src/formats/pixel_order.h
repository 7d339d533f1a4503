// Three-byte pixels with their first and third bytes exchanged (RGB to BGR and back), the
// conversion most colour loads end with; vector shuffles chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::formats {

// in and out hold `pixels` pixels of three bytes each and do not overlap.
void swap_red_blue(const uint8_t* in, uint8_t* out, size_t pixels);

}  // namespace quorvel::formats
