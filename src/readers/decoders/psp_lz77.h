// The LZ77 (zlib) channels of Paint Shop Pro files, inflated into a bounded target; a
// damaged stream raises "LZ77 decompression error.".
#pragma once

#include <cstdint>
#include <span>

namespace quorvel::readers {

// Inflates `source` into `target`; returns the bytes produced (the target may be left short
// when the stream ends early).
size_t psp_inflate(std::span<const uint8_t> source, std::span<uint8_t> target);

}  // namespace quorvel::readers
