// Little- and big-endian fields for building files byte by byte in tests.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::testing::byte_fields {

using Bytes = std::vector<uint8_t>;

inline Bytes le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
inline Bytes be16(uint32_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
inline void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

}  // namespace quorvel::testing::byte_fields
