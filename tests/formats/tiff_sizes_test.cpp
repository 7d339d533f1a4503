// How large a picture a TIFF strip's bytes may claim under each compression scheme's best
// ratio: the largest that passes, and one pixel (or, for the fax codings, one row) more that
// does not.
#include "formats/tiff_sizes.h"

#include <gtest/gtest.h>

#include <tiff.h>

#include <utility>
#include <vector>

namespace quorvel::formats {
namespace {

// One strip of `bytes` bytes holding a width x height picture.
TiffBlocks one_strip(uint32_t compression, uint64_t bytes, double bits, uint32_t width,
                     uint32_t height) {
    TiffBlocks b;
    b.file_size = 8 + bytes;
    b.width = b.block_width = width;
    b.height = b.block_height = height;
    b.bits_per_pixel = bits;
    b.compression = compression;
    b.offsets = {8};
    b.counts = {bytes};
    return b;
}

TEST(TiffSizes, EachSchemeMayClaimUpToItsBestRatio) {
    // The strip's bytes count four times over (a file cut short still gives what it holds).
    const struct {
        const char* name;
        uint32_t compression;
        uint64_t bytes;
        double bits;
        uint32_t width, height;  // the largest that passes
        bool more_rows;          // the bound is on rows, not bytes
    } cases[] = {
        {"none", COMPRESSION_NONE, 300000, 8, 1200, 1000, false},           // 1 byte a byte
        {"packbits", COMPRESSION_PACKBITS, 5000, 8, 1280, 1000, false},     // 64 a byte + 128
        {"deflate", COMPRESSION_ADOBE_DEFLATE, 300, 8, 1239, 1000, false},  // 1032 a byte
        {"lzw", COMPRESSION_LZW, 100, 8, 1458, 1000, false},                // 4096 a 9-bit code
        {"fax3", COMPRESSION_CCITTFAX3, 200, 1, 10000, 6408, true},         // a row a bit
        {"fax4", COMPRESSION_CCITTFAX4, 200, 1, 10000, 6408, true},
        {"thunderscan", COMPRESSION_THUNDERSCAN, 10000, 4, 2520, 1000, false},  // 63 a byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(
            tiff_blocks_plausible(one_strip(c.compression, c.bytes, c.bits, c.width, c.height)));
        const uint32_t w = c.more_rows ? c.width : c.width + 1;
        const uint32_t h = c.more_rows ? c.height + 1 : c.height;
        EXPECT_FALSE(tiff_blocks_plausible(one_strip(c.compression, c.bytes, c.bits, w, h)));
    }
}

TEST(TiffSizes, SmallPicturesAndSchemesWithoutABoundAlwaysPass) {
    // Up to 1 MB decoded passes whatever the strip holds, even nothing.
    TiffBlocks empty = one_strip(COMPRESSION_NONE, 0, 8, 1024, 1024);
    EXPECT_TRUE(tiff_blocks_plausible(empty));
    empty.height = 1025;
    EXPECT_FALSE(tiff_blocks_plausible(empty));
    // JPEG 2000 can code a uniform picture of any size in a few bytes.
    EXPECT_TRUE(tiff_blocks_plausible(one_strip(34712, 1, 8, 20000, 20000)));
}

TEST(TiffSizes, OnlyBytesInsideTheFileCount) {
    TiffBlocks b = one_strip(COMPRESSION_NONE, 300000, 8, 1200, 1000);
    b.file_size = 8 + 299999;  // the strip runs one byte past the end
    EXPECT_FALSE(tiff_blocks_plausible(b));
    b.offsets = {b.file_size};  // starts at the end: nothing of it is there
    b.width = 1100;
    EXPECT_FALSE(tiff_blocks_plausible(b));
    b.offsets.clear();  // not listed at all
    EXPECT_FALSE(tiff_blocks_plausible(b));
}

TEST(TiffSizes, JpegBlocksAreBoundByTheirFirstScansCoding) {
    // A Huffman-coded first scan gives at most 8 blocks of 32 x 32 pixels a byte; an
    // arithmetic-coded one (SOF9) or headers without a frame are not bound.
    const std::vector<uint8_t> huffman = {0xFF, 0xD8, 0xFF, 0xC0, 0, 2},
                               arithmetic = {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xC9, 0, 2},
                               no_frame = {0xFF, 0xD8, 0xFF, 0xDA, 0, 2};
    for (const auto& [head, passes] :
         {std::pair{huffman, false}, std::pair{arithmetic, true}, std::pair{no_frame, true}}) {
        TiffBlocks b = one_strip(COMPRESSION_JPEG, 100, 8, 4000, 4000);  // 16 MP from 400 bytes
        b.head = [head](size_t) { return head; };
        EXPECT_EQ(tiff_blocks_plausible(b), passes) << int(head[3]);
    }
    // At the edge: 400 bytes hold 8 x 400 + 8 blocks of 32 x 32, 1024 x 3208 pixels.
    TiffBlocks b = one_strip(COMPRESSION_JPEG, 100, 8, 1024, 3208);
    b.head = [&huffman](size_t) { return huffman; };
    EXPECT_TRUE(tiff_blocks_plausible(b));
    b.height = b.block_height = 3209;
    EXPECT_FALSE(tiff_blocks_plausible(b));
}

TEST(TiffSizes, TilesAreWholeAtTheEdgesAndEveryBlockIsCounted) {
    // 2 x 2 tiles of 512 x 512 for 600 x 600 pixels: four whole tiles, 1 MB, claimed.
    TiffBlocks b = one_strip(COMPRESSION_NONE, 300000, 8, 600, 600);
    b.tiled = true;
    b.block_width = b.block_height = 512;
    b.offsets = {8, 8, 8, 8};
    b.counts = {300000, 300000, 300000, 300000};
    b.file_size = 8 + 300000;
    EXPECT_TRUE(tiff_blocks_plausible(b));
    b.counts.resize(1);  // three tiles without a byte count: 1 MB from 300,000 bytes
    b.width = b.height = 1100;
    EXPECT_FALSE(tiff_blocks_plausible(b));
}

TEST(TiffSizes, AZeroSizeIsRefused) {
    for (int field = 0; field < 5; ++field) {
        TiffBlocks b = one_strip(COMPRESSION_NONE, 100, 8, 10, 10);
        uint32_t* sizes[] = {&b.width, &b.height, &b.block_width, &b.block_height, &b.planes};
        *sizes[field] = 0;
        EXPECT_FALSE(tiff_blocks_plausible(b)) << field;
    }
}

}  // namespace
}  // namespace quorvel::formats
