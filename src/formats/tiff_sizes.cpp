#include "formats/tiff_sizes.h"

#include <algorithm>

#include <tiff.h>

#include "formats/deflate_bound.h"
#include "formats/jpeg_sizes.h"
#include "platform/limits.h"

namespace quorvel::formats {
namespace {

uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// The limits record's plausibility rule, judged on the blocks' bytes at the scheme's best ratio.
using platform::kAlwaysPlausibleBytes;
using platform::kTruncationSlack;

struct Claim {
    uint64_t pixels = 0, rows = 0, decoded = 0;  // what the blocks must give, in all
    uint64_t present = 0;                        // the bytes of them inside the file
    size_t first_present = 0;                    // a block with bytes, for its JPEG headers
};

// Whether `count` bytes of the scheme can give the claimed pixels; schemes without a known
// best ratio (JBIG, WebP, JPEG 2000, ZSTD and arithmetic-coded JPEG can code a uniform block
// of any size in a few bytes) pass.
bool can_give(const TiffBlocks& b, const Claim& c, uint64_t count) {
    switch (b.compression) {
        case COMPRESSION_NONE:  // stored as decoded: every byte is there
            return c.decoded <= count;
        case COMPRESSION_PACKBITS:  // a two-byte run gives at most 128 bytes
            return c.decoded <= 64 * count + 128;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:  // a 258-byte match takes at least two bits
            return c.decoded <= deflate_most_bytes(count);
        case COMPRESSION_LZW:  // a code has 9 bits or more and stands for at most 4096 bytes
            return c.decoded <= 4096 * (8 * count / 9 + 1);
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
        case COMPRESSION_CCITTRLEW:  // a row is at least one bit
            return c.rows <= 8 * count + 8;
        case COMPRESSION_THUNDERSCAN:  // a run byte repeats a pixel at most 63 times
            return c.pixels <= 63 * count + 63;
        case COMPRESSION_JPEG: {
            // Huffman: one bit or more per 8 x 8 block of the first scan's components, whose
            // coarsest sampling (1 in 4 each way) leaves one block per 32 x 32 pixels.
            const JpegCoding coding =
                b.head ? jpeg_coding(b.head(c.first_present)) : JpegCoding::Unknown;
            return coding != JpegCoding::Huffman || c.pixels / 1024 <= 8 * count + 8;
        }
        default:
            return true;
    }
}

}  // namespace

bool tiff_blocks_plausible(const TiffBlocks& b) {
    // Old-style JPEG often finds its stream through JPEGInterchangeFormat, not the strips.
    if (b.compression == COMPRESSION_OJPEG) return true;
    if (b.width == 0 || b.height == 0 || b.block_width == 0 || b.block_height == 0 || b.planes == 0)
        return false;
    const uint64_t across = b.tiled ? ceil_div(b.width, b.block_width) : 1;
    const uint64_t down = ceil_div(b.height, b.block_height);
    const uint64_t per_plane = across * down;
    Claim claim;
    bool any_present = false;
    for (uint64_t index = 0; index < per_plane * b.planes; ++index) {
        // Tiles are whole at the edges too; the last strip holds the rows that are left.
        const uint64_t first_row = (index % per_plane / across) * b.block_height;
        const uint64_t rows =
            b.tiled ? b.block_height : std::min<uint64_t>(b.block_height, b.height - first_row);
        claim.rows += rows;
        claim.pixels += uint64_t{b.block_width} * rows;
        if (index >= b.offsets.size() || index >= b.counts.size()) continue;  // a block not listed
        const uint64_t offset = b.offsets[index], count = b.counts[index];
        if (offset >= b.file_size || count == 0) continue;
        claim.present += std::min(count, b.file_size - offset);
        if (!any_present) claim.first_present = static_cast<size_t>(index), any_present = true;
    }
    claim.decoded = static_cast<uint64_t>(static_cast<double>(claim.pixels) * b.bits_per_pixel / 8);
    if (claim.decoded <= kAlwaysPlausibleBytes) return true;
    return any_present && can_give(b, claim, kTruncationSlack * claim.present);
}

}  // namespace quorvel::formats
