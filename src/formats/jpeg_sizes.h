// How many 8 x 8 blocks a JPEG stream of a given length can code, so that a header claiming
// more than its bytes can fill is refused before the picture or libjpeg's buffers are sized.
// Used by the container's JPEG codec, the toolkit's JPEG class and the TIFF readers.
#pragma once

#include <cstdint>
#include <span>

struct jpeg_decompress_struct;

namespace quorvel::formats {

enum class JpegCoding { Huffman, Arithmetic, Unknown };

// The entropy coding the first start-of-frame marker of `stream` names (its first bytes are
// enough); Unknown when no frame header is found in them.
JpegCoding jpeg_coding(std::span<const uint8_t> stream);

// True when `blocks` 8 x 8 blocks of a first scan fit in `bytes` bytes of coded data.
bool jpeg_blocks_plausible(uint64_t blocks, JpegCoding coding, uint64_t bytes);

// After jpeg_read_header (which stops at the first scan's header): true when the blocks of
// that first scan can be coded in the `file_bytes` bytes of the whole file.
bool jpeg_header_plausible(const jpeg_decompress_struct* cinfo, uint64_t file_bytes);

}  // namespace quorvel::formats
