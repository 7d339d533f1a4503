#include "raster/codecs/tiff_sizes.h"

#include <algorithm>

#include "raster/codecs/jpeg_sizes.h"

namespace quorvel::raster {
namespace {

enum Compression : uint32_t {
    kNone = 1, kCcittRle = 2, kCcittG3 = 3, kCcittG4 = 4, kLzw = 5, kOldJpeg = 6, kJpeg = 7,
    kDeflate = 8, kCcittRleW = 32771, kPackBits = 32773, kThunderScan = 32809, kDeflateOld = 32946,
};

uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Whether `count` bytes of the scheme can decode to a block of `width` x `rows` pixels of
// `bits` bits each; schemes without a known best ratio (JBIG, WebP, JPEG 2000, ZSTD and
// arithmetic-coded JPEG can code a uniform block of any size in a few bytes) pass.
bool block_fits(const TiffBlocks& b, size_t index, uint64_t count, uint64_t rows) {
    const uint64_t pixels = uint64_t{b.block_width} * rows;
    const auto decoded = static_cast<uint64_t>(static_cast<double>(pixels) * b.bits_per_pixel / 8);
    switch (b.compression) {
        case kNone:  // stored as decoded: every byte is there
            return decoded <= count;
        case kPackBits:  // a two-byte run gives at most 128 bytes
            return decoded <= 64 * count + 128;
        case kDeflate: case kDeflateOld:  // a 258-byte match takes at least two bits
            return decoded <= 1032 * count + 1032;
        case kLzw:  // a code has 9 bits or more and stands for at most 4096 bytes
            return decoded <= 4096 * (8 * count / 9 + 1);
        case kCcittRle: case kCcittG3: case kCcittG4: case kCcittRleW:  // a row is at least one bit
            return rows <= 8 * count + 8;
        case kThunderScan:  // a run byte repeats a pixel at most 63 times
            return pixels <= 63 * count + 63;
        case kJpeg: {
            // Huffman: one bit or more per 8 x 8 block of the first scan's components, whose
            // coarsest sampling (1 in 4 each way) leaves one block per 32 x 32 pixels.
            const JpegCoding coding = b.head ? jpeg_coding(b.head(index)) : JpegCoding::Unknown;
            return coding != JpegCoding::Huffman || pixels / 1024 <= 8 * count + 8;
        }
        default:
            return true;
    }
}

}  // namespace

bool tiff_blocks_plausible(const TiffBlocks& b) {
    // Old-style JPEG often finds its stream through JPEGInterchangeFormat, not the strips.
    if (b.compression == kOldJpeg) return true;
    if (b.width == 0 || b.height == 0 || b.block_width == 0 || b.block_height == 0 || b.planes == 0) return false;
    const uint64_t across = b.tiled ? ceil_div(b.width, b.block_width) : 1;
    const uint64_t down = ceil_div(b.height, b.block_height);
    const uint64_t per_plane = across * down;
    if (b.offsets.size() / b.planes < per_plane || b.counts.size() / b.planes < per_plane) return false;
    for (uint64_t plane = 0; plane < b.planes; ++plane) {
        for (uint64_t i = 0; i < per_plane; ++i) {
            const size_t index = static_cast<size_t>(plane * per_plane + i);
            const uint64_t offset = b.offsets[index], count = b.counts[index];
            if (count == 0 || offset > b.file_size || count > b.file_size - offset) return false;
            // Tiles are whole at the edges too; the last strip holds the rows that are left.
            const uint64_t first_row = (i / across) * b.block_height;
            const uint64_t rows = b.tiled ? b.block_height : std::min<uint64_t>(b.block_height, b.height - first_row);
            if (!block_fits(b, index, count, rows)) return false;
        }
    }
    return true;
}

}  // namespace quorvel::raster
