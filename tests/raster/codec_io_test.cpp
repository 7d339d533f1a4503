#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "raster/codecs/codec_io.h"

namespace quorvel::raster::codec_io {
namespace {

// A record over the caller's pixels, with only the geometry set.
BMGImage RecordOver(uint8_t* pixels, uint32_t w, uint32_t h, uint8_t bits, uint32_t rowBytes) {
    BMGImage img;
    ClearImageRecord(&img);
    img.width = w;
    img.height = h;
    img.bitsPerPixel = bits;
    img.rowBytes = rowBytes;
    img.pixels = pixels;
    return img;
}

// A record that passes every writer check: 2x2 at 24 bits over a static buffer.
BMGImage GoodRecord() {
    static uint8_t pixels[16] = {};
    return RecordOver(pixels, 2, 2, 24, 8);
}

constexpr WriterRules kLibraryWriter{.pixelsFirst = false, .indexedNeedsPalette = false};

TEST(WritableImage, GoodRecordPassesEitherRules) {
    EXPECT_EQ(CheckWritableImage(GoodRecord()), BMG_OK);
    EXPECT_EQ(CheckWritableImage(GoodRecord(), kLibraryWriter), BMG_OK);
}

TEST(WritableImage, PixelsFirstReportsTheMissingBlockBeforeSizeAndDepth) {
    BMGImage img = GoodRecord();
    img.pixels = nullptr;
    img.width = 0;
    img.bitsPerPixel = 3;
    EXPECT_EQ(CheckWritableImage(img), BMG_ERR_IMAGE_POINTER);
    img.pixels = GoodRecord().pixels;
    EXPECT_EQ(CheckWritableImage(img), BMG_ERR_IMAGE_SIZE);
}

TEST(WritableImage, DepthFirstReportsDepthThenSizeThenPixels) {
    BMGImage img = GoodRecord();
    img.pixels = nullptr;
    img.width = 0;
    img.bitsPerPixel = 3;
    EXPECT_EQ(CheckWritableImage(img, kLibraryWriter), BMG_ERR_BITS_PER_PIXEL);
    img.bitsPerPixel = 24;
    EXPECT_EQ(CheckWritableImage(img, kLibraryWriter), BMG_ERR_IMAGE_SIZE);
    img.width = 2;
    EXPECT_EQ(CheckWritableImage(img, kLibraryWriter), BMG_ERR_IMAGE_POINTER);
}

TEST(WritableImage, MaximumDimensionIsInclusive) {
    BMGImage img = GoodRecord();
    WriterRules rules = kLibraryWriter;
    rules.maxDimension = 2;
    EXPECT_EQ(CheckWritableImage(img, rules), BMG_OK);
    rules.maxDimension = 1;
    EXPECT_EQ(CheckWritableImage(img, rules), BMG_ERR_IMAGE_SIZE);
}

TEST(WritableImage, ShortRowsAreASizeFault) {
    BMGImage img = GoodRecord();
    img.rowBytes = 5;
    EXPECT_EQ(CheckWritableImage(img), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(CheckWritableImage(img, kLibraryWriter), BMG_ERR_IMAGE_SIZE);
}

TEST(WritableImage, IndexedWithoutPaletteOnlyFailsWhenColoursAreNeeded) {
    BMGImage img = GoodRecord();
    img.bitsPerPixel = 8;
    EXPECT_EQ(CheckWritableImage(img), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(CheckWritableImage(img, kLibraryWriter), BMG_OK);
}

TEST(ByteCursor, ReadsBothOrdersToTheEndAndThenFailsForGood) {
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x07};
    formats::ByteCursor c{bytes, sizeof bytes};
    EXPECT_EQ(c.le16(), 0x3412u);
    EXPECT_EQ(c.be16(), 0x5678u);
    c.seek(0);
    EXPECT_EQ(c.le32(), 0x78563412u);
    EXPECT_EQ(c.sbe32(), static_cast<int32_t>(0x9ABCDEF0u));
    formats::ByteCursor tail = c.sub(1);
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(c.remaining(), 0u);
    EXPECT_EQ(c.u8(), 0u);  // past the end: 0, nothing read
    EXPECT_FALSE(c.ok());
    EXPECT_FALSE(c.seek(sizeof bytes + 1));
    EXPECT_EQ(c.position(), sizeof bytes);
    EXPECT_EQ(tail.u8(), 7u);
    EXPECT_EQ(tail.le16(), 0u);  // a field cut by the end is not read in part
    EXPECT_FALSE(tail.ok());
    EXPECT_FALSE(c.sub(1).ok());
    EXPECT_EQ(formats::le32(std::span<const uint8_t>(bytes), 6), 0u);
    EXPECT_EQ(formats::be16(std::span<const uint8_t>(bytes), 7), 0xF007u);
}

TEST(WidenedCopy, WidensACopyAndLeavesTheCallersPixels) {
    uint8_t pixels[4] = {0x1F, 0x7C, 0x00, 0x00};  // 0x7C1F: red 31, green 0, blue 31
    BMGImage img = RecordOver(pixels, 1, 2, 16, 2);
    BMGImage wide;
    ASSERT_EQ(WidenedCopy(img, wide), BMG_OK);
    EXPECT_NE(wide.pixels, pixels);
    EXPECT_EQ(wide.bitsPerPixel, 24);
    EXPECT_EQ(wide.rowBytes, 3u);
    EXPECT_EQ(wide.pixels[0], 248);  // blue
    EXPECT_EQ(wide.pixels[1], 0);
    EXPECT_EQ(wide.pixels[2], 248);  // red
    EXPECT_EQ(img.pixels, pixels);
    EXPECT_EQ(img.bitsPerPixel, 16);
    EXPECT_EQ(pixels[0], 0x1F);
    std::free(wide.pixels);
}

TEST(RgbRowFromBgr, SwapsRedAndBlueAndKeepsAlpha) {
    const uint8_t bgr[6] = {1, 2, 3, 4, 5, 6};
    uint8_t rgb[6] = {};
    RgbRowFromBgr(bgr, rgb, 2, 3);
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    const uint8_t bgra[8] = {1, 2, 3, 9, 4, 5, 6, 8};
    uint8_t rgba[8] = {};
    RgbRowFromBgr(bgra, rgba, 2, 4);
    EXPECT_EQ(std::vector<uint8_t>(rgba, rgba + 8), (std::vector<uint8_t>{3, 2, 1, 9, 6, 5, 4, 8}));
}

TEST(HasPalette, NeedsEntriesOfThreeBytes) {
    uint8_t palette[8] = {};
    BMGImage img;
    ClearImageRecord(&img);
    EXPECT_FALSE(HasPalette(img));
    img.palette = palette;
    EXPECT_FALSE(HasPalette(img));
    img.paletteSize = 2;
    img.paletteEntryBytes = 2;
    EXPECT_FALSE(HasPalette(img));
    img.paletteEntryBytes = 4;
    EXPECT_TRUE(HasPalette(img));
    img.palette = nullptr;  // not ours to release
    img.paletteSize = 0;
}

BMGError ParseOneGreyPixel(formats::ByteCursor& in, BMGImage* img) {
    const uint8_t value = in.u8();
    if (!in.ok()) return BMG_ERR_READ_FILE;
    img->width = 1;
    img->height = 1;
    img->bitsPerPixel = 8;
    img->paletteSize = 256;
    if (BMGError e = AllocateImageRecord(img); e != BMG_OK) return e;
    img->pixels[0] = value;
    // A second byte stands for a parser that fails after allocating.
    return in.remaining() == 0 ? BMG_OK : BMG_ERR_CORRUPT_FILE;
}

TEST(ReadWholeFile, NullRecordAndMissingFile) {
    EXPECT_EQ(ReadWholeFile("x", nullptr, ParseOneGreyPixel), BMG_ERR_IMAGE_POINTER);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_IMAGE_POINTER);
    BMGImage img;
    ClearImageRecord(&img);
    EXPECT_EQ(ReadWholeFile("/nonexistent/quorvel/none.bin", &img, ParseOneGreyPixel),
              BMG_ERR_OPEN_FILE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(ReadWholeFile(nullptr, &img, ParseOneGreyPixel), BMG_ERR_OPEN_FILE);
}

TEST(ReadWholeFile, ParsesAndReleasesOnFailure) {
    const std::string path = ::testing::TempDir() + "codec_io_read_whole.bin";
    const auto write = [&path](const char* bytes, size_t n) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes, 1, n, f), n);
        std::fclose(f);
    };
    BMGImage img;
    ClearImageRecord(&img);
    write("\x2a", 1);
    ASSERT_EQ(ReadWholeFile(path.c_str(), &img, ParseOneGreyPixel), BMG_OK);
    EXPECT_EQ(GetLastImageError(), BMG_OK);
    ASSERT_NE(img.pixels, nullptr);
    EXPECT_EQ(img.pixels[0], 0x2a);
    ReleaseImageRecord(&img);
    write("\x2a\x00", 2);
    EXPECT_EQ(ReadWholeFile(path.c_str(), &img, ParseOneGreyPixel), BMG_ERR_CORRUPT_FILE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_CORRUPT_FILE);
    EXPECT_EQ(img.pixels, nullptr);
    EXPECT_EQ(img.width, 0u);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace quorvel::raster::codec_io
