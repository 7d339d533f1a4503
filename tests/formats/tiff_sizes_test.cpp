// How large a picture a TIFF strip's bytes may claim under each compression scheme's best
// ratio: the largest that passes, and one pixel (or, for the fax codings, one row) more that
// does not.
#include "formats/tiff_sizes.h"

#include <gtest/gtest.h>

#include <tiff.h>

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
    EXPECT_FALSE(tiff_blocks_plausible(one_strip(COMPRESSION_NONE, 300000, 8, 0, 1000)));
}

}  // namespace
}  // namespace quorvel::formats
