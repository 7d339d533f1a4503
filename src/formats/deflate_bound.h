// What deflate data can give: a 258-byte match takes at least two bits, so a byte of it stands
// for at most about 1032 bytes. Readers bound what compressed data claims to hold by it.
#pragma once

#include <cstdint>

namespace quorvel::formats {

inline constexpr uint64_t kDeflateMostPerByte = 1032;

// The most bytes `packed` bytes of deflate data can inflate to.
constexpr uint64_t deflate_most_bytes(uint64_t packed) {
    return kDeflateMostPerByte * packed + kDeflateMostPerByte;
}

}  // namespace quorvel::formats
