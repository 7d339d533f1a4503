#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "raster/bmg_image.h"

namespace quorvel::raster {
namespace {

// A record with the fields a caller sets before allocation; released at scope end.
struct Record {
    BMGImage img;
    Record(uint32_t w, uint32_t h, uint8_t bits, int32_t dib) {
        ClearImageRecord(&img);
        img.width = w;
        img.height = h;
        img.bitsPerPixel = bits;
        img.dibLayout = dib;
    }
    ~Record() { ReleaseImageRecord(&img); }
};

TEST(ImageRecord, ClearAndReleaseGiveTheEmptyState) {
    Record r(3, 2, 8, 1);
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    r.img.transparentIndex = 4;
    ReleaseImageRecord(&r.img);
    EXPECT_EQ(r.img.width, 0u);
    EXPECT_EQ(r.img.height, 0u);
    EXPECT_EQ(r.img.bitsPerPixel, 0);
    EXPECT_EQ(r.img.pixels, nullptr);
    EXPECT_EQ(r.img.palette, nullptr);
    EXPECT_EQ(r.img.paletteSize, 0);
    EXPECT_EQ(r.img.paletteEntryBytes, 0);
    EXPECT_EQ(r.img.rowBytes, 0u);
    EXPECT_EQ(r.img.dibLayout, 0);
    EXPECT_EQ(r.img.transparentIndex, -1);
}

TEST(ImageRecord, AllocationLayoutFollowsDibFlag) {
    Record dib(1, 1, 1, 1);
    ASSERT_EQ(AllocateImageRecord(&dib.img), BMG_OK);
    EXPECT_EQ(dib.img.rowBytes, 4u);
    EXPECT_EQ(dib.img.paletteSize, 2);
    EXPECT_EQ(dib.img.paletteEntryBytes, 4);

    Record packed(1, 1, 1, 0);
    ASSERT_EQ(AllocateImageRecord(&packed.img), BMG_OK);
    EXPECT_EQ(packed.img.rowBytes, 1u);
    EXPECT_EQ(packed.img.paletteEntryBytes, 3);

    Record asked4(5, 2, 4, 0);
    asked4.img.paletteEntryBytes = 4;
    ASSERT_EQ(AllocateImageRecord(&asked4.img), BMG_OK);
    EXPECT_EQ(asked4.img.paletteEntryBytes, 4);
    EXPECT_EQ(asked4.img.rowBytes, 3u);
    EXPECT_EQ(asked4.img.paletteSize, 16);

    Record rgb(3, 2, 24, 1);
    ASSERT_EQ(AllocateImageRecord(&rgb.img), BMG_OK);
    EXPECT_EQ(rgb.img.rowBytes, 12u);
    EXPECT_EQ(rgb.img.palette, nullptr);
    EXPECT_EQ(rgb.img.paletteSize, 0);
    for (uint32_t i = 0; i < 24; ++i) EXPECT_EQ(rgb.img.pixels[i], 0) << i;
}

TEST(ImageRecord, PresetPaletteSizeIsKept) {
    Record r(4, 4, 8, 1);
    r.img.paletteSize = 5;
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    EXPECT_EQ(r.img.paletteSize, 5);
}

TEST(ImageRecord, AllocationFailuresAreRecordedAndLeaveNoBlocks) {
    Record zero_w(0, 5, 8, 1);
    EXPECT_EQ(AllocateImageRecord(&zero_w.img), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_IMAGE_SIZE);
    Record zero_h(5, 0, 8, 1);
    EXPECT_EQ(AllocateImageRecord(&zero_h.img), BMG_ERR_IMAGE_SIZE);
    Record two_bits(5, 5, 2, 1);
    EXPECT_EQ(AllocateImageRecord(&two_bits.img), BMG_ERR_BITS_PER_PIXEL);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_BITS_PER_PIXEL);
    // 65536 x 65536 wraps to 0 in 32 bits and is far beyond any block we hand out.
    Record wraps(65536, 65536, 8, 1);
    EXPECT_EQ(AllocateImageRecord(&wraps.img), BMG_ERR_IMAGE_SIZE);
    Record huge(0xFFFFFFFFu, 0xFFFFFFFFu, 32, 1);
    EXPECT_EQ(AllocateImageRecord(&huge.img), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(huge.img.pixels, nullptr);
    EXPECT_EQ(huge.img.palette, nullptr);
    Record fine(2, 2, 8, 1);
    EXPECT_EQ(AllocateImageRecord(&fine.img), BMG_OK);
    EXPECT_EQ(GetLastImageError(), BMG_OK);
}

TEST(ImageRecord, ReallocationReplacesBlocks) {
    Record r(2, 2, 8, 1);
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    r.img.width = 7;
    r.img.bitsPerPixel = 24;
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    EXPECT_EQ(r.img.rowBytes, 24u);
    EXPECT_EQ(r.img.palette, nullptr);
}

// Fills an 8-bit record's rows from index values, bottom row first.
void fill_indexes(BMGImage& img, const std::vector<uint8_t>& values) {
    for (uint32_t y = 0; y < img.height; ++y)
        for (uint32_t x = 0; x < img.width; ++x)
            img.pixels[y * img.rowBytes + x] = values[y * img.width + x];
}

// Palettes of at most 2 or 16 entries pack to 1 or 4 bits and unpack to the same indexes.
struct PackCase {
    const char* name;
    uint32_t width, height;
    int32_t dib;
    uint16_t paletteSize;
    std::vector<uint8_t> values;
    uint8_t bits;
    uint32_t rowBytes;
    std::vector<std::pair<size_t, uint8_t>> bytes;  // (offset, packed byte)
};

void PrintTo(const PackCase& c, std::ostream* os) { *os << c.name; }

class PackIndexed : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackIndexed, PacksAndRoundTrips) {
    const PackCase& c = GetParam();
    Record r(c.width, c.height, 8, c.dib);
    r.img.paletteSize = c.paletteSize;
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    fill_indexes(r.img, c.values);
    ASSERT_EQ(PackIndexedImage(&r.img), BMG_OK);
    EXPECT_EQ(r.img.bitsPerPixel, c.bits);
    EXPECT_EQ(r.img.rowBytes, c.rowBytes);
    for (const auto& [at, byte] : c.bytes) EXPECT_EQ(r.img.pixels[at], byte) << at;
    std::vector<uint8_t> back(c.values.size());
    if (c.bits == 1) UnpackIndexedRows1(r.img, back.data());
    else UnpackIndexedRows4(r.img, back.data());
    EXPECT_EQ(back, c.values);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PackIndexed,
                         ::testing::Values(PackCase{"TwoColoursToOneBit",
                                                    10,
                                                    2,
                                                    1,
                                                    2,
                                                    {1, 0, 1, 0, 0, 1, 0, 1, 1, 1,
                                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
                                                    1,
                                                    4,
                                                    {{0, 0xA5}, {1, 0xC0}, {4, 0x00}, {5, 0x40}}},
                                           PackCase{"SixteenColoursToFourBitsWithOddTail",
                                                    5,
                                                    1,
                                                    0,
                                                    16,
                                                    {1, 2, 3, 15, 9},
                                                    4,
                                                    3,
                                                    {{0, 0x12}, {1, 0x3F}, {2, 0x90}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PackIndexedImage, SeventeenColoursOrDirectColourStayUnchanged) {
    Record r(3, 1, 8, 1);
    r.img.paletteSize = 17;
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    uint8_t* before = r.img.pixels;
    EXPECT_EQ(PackIndexedImage(&r.img), BMG_OK);
    EXPECT_EQ(r.img.bitsPerPixel, 8);
    EXPECT_EQ(r.img.pixels, before);

    Record rgb(3, 1, 24, 1);
    ASSERT_EQ(AllocateImageRecord(&rgb.img), BMG_OK);
    EXPECT_EQ(PackIndexedImage(&rgb.img), BMG_OK);
    EXPECT_EQ(rgb.img.bitsPerPixel, 24);
}

TEST(ExpandRgb555, WidensEveryChannelAndIgnoresTopBit) {
    Record r(2, 1, 16, 1);
    ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
    // red 31, green 1, blue 2 with bit 15 set; then pure green 31.
    const uint16_t a = 0x8000 | (31 << 10) | (1 << 5) | 2;
    const uint16_t b = 31 << 5;
    r.img.pixels[0] = a & 0xFF;
    r.img.pixels[1] = a >> 8;
    r.img.pixels[2] = b & 0xFF;
    r.img.pixels[3] = b >> 8;
    ASSERT_EQ(ExpandRgb555(&r.img), BMG_OK);
    EXPECT_EQ(r.img.bitsPerPixel, 24);
    EXPECT_EQ(r.img.rowBytes, 8u);
    const std::vector<uint8_t> got(r.img.pixels, r.img.pixels + 6);
    EXPECT_EQ(got, (std::vector<uint8_t>{16, 8, 248, 0, 248, 0}));

    Record wrong(2, 1, 24, 1);
    ASSERT_EQ(AllocateImageRecord(&wrong.img), BMG_OK);
    SetLastImageError(BMG_ERR_OPEN_FILE);
    EXPECT_EQ(ExpandRgb555(&wrong.img), BMG_ERR_BITS_PER_PIXEL);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_OPEN_FILE);  // left alone
}

TEST(Compositing, BlendAndUnblendBoundaries) {
    EXPECT_EQ(CompositeChannel(200, 128, 255), 227);
    EXPECT_EQ(CompositeChannel(200, 0, 17), 17);
    EXPECT_EQ(CompositeChannel(200, 255, 17), 200);
    EXPECT_EQ(CompositeChannel(0, 1, 255), 254);
    EXPECT_EQ(UncompositeChannel(255, 128, 0), 255);
    EXPECT_EQ(UncompositeChannel(0, 128, 255), 0);
    EXPECT_EQ(UncompositeChannel(9, 0, 77), 77);
    EXPECT_EQ(UncompositeChannel(9, 255, 77), 9);
    // Blending then unblending over white recovers the foreground within rounding.
    for (int f = 0; f < 256; f += 5)
        for (int a = 16; a < 256; a += 16) {
            const uint8_t c = CompositeChannel(uint8_t(f), uint8_t(a), 255);
            EXPECT_NEAR(UncompositeChannel(c, uint8_t(a), 255), f, 255.0 / a) << f << " " << a;
        }
}

TEST(SwapBytes, ReversesBothForms) {
    EXPECT_EQ(SwapBytes16(uint16_t{0x1234}), 0x3412);
    EXPECT_EQ(SwapBytes16(int16_t{-2}), int16_t(0xFEFF));
    EXPECT_EQ(SwapBytes32(uint32_t{0x12345678}), 0x78563412u);
    EXPECT_EQ(SwapBytes32(int32_t{-2}), int32_t(0xFEFFFFFF));
}

TEST(BackgroundColour, IsWhite) {
    EXPECT_EQ(BackgroundColour.red, 255);
    EXPECT_EQ(BackgroundColour.green, 255);
    EXPECT_EQ(BackgroundColour.blue, 255);
}

}  // namespace
}  // namespace quorvel::raster
