// Targa reader and writer on hand-made files: header rules, pixel layouts, orientation,
// run-length packets, and what the writer puts into the file.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"
#include "raster/bmg_error.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

Bytes tga_header(unsigned type, unsigned width, unsigned height, unsigned depth,
                 unsigned descriptor, unsigned mapType = 0, unsigned mapLength = 0,
                 unsigned mapBits = 0, unsigned idLength = 0) {
    Bytes b;
    b.u8(idLength).u8(mapType).u8(type).le16(0).le16(mapLength).u8(mapBits).le16(0).le16(0);
    b.le16(width).le16(height).u8(depth).u8(descriptor);
    return b;
}

using TgaTest = CodecFile<"t.tga">;

TEST_F(TgaTest, ThirtyTwoBitPixelsKeepAlphaOnlyWhenTheDescriptorSaysSo) {
    // Two pixels, (1,2,3,4) and (5,6,7,8), once plain (type 2) and once as one literal packet.
    const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    for (unsigned type : {2u, 10u}) {
        for (unsigned descriptor : {0x08u, 0x00u}) {
            Bytes b = tga_header(type, 2, 1, 32, descriptor);
            if (type == 10) b.u8(1);
            b.raw(pixels);
            Record rec(0);
            ASSERT_EQ(read_bytes(ReadTgaFile, path, b.b, rec), BMG_OK) << type << " " << descriptor;
            if (descriptor == 0x08) {
                ASSERT_EQ(rec->bitsPerPixel, 32);
                EXPECT_EQ(std::vector<uint8_t>(rec->pixels, rec->pixels + 8), pixels);
            } else {
                ASSERT_EQ(rec->bitsPerPixel, 24);
                EXPECT_EQ(std::vector<uint8_t>(rec->pixels, rec->pixels + 6),
                          (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
            }
        }
    }
}

TEST_F(TgaTest, ColourMapEntriesKeepTheirByteOrderBothWays) {
    Bytes b = tga_header(1, 2, 1, 8, 0x20, 1, 2, 24);
    b.u8(1).u8(2).u8(3).u8(40).u8(50).u8(60).u8(1).u8(0);
    Record rec;
    ASSERT_EQ(read_bytes(ReadTgaFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->paletteSize, 2);
    EXPECT_EQ(rec->palette[0], 1);
    EXPECT_EQ(rec->palette[1], 2);
    EXPECT_EQ(rec->palette[2], 3);
    EXPECT_EQ(rec->palette[4 + 2], 60);
    EXPECT_EQ(rec->pixels[0], 1);

    ASSERT_EQ(WriteTgaFile(path.c_str(), rec.img), BMG_OK);
    const auto out = testing::read_file(path);
    ASSERT_EQ(out.size(), 18u + 6 + 2);
    EXPECT_EQ(out[1], 1);   // colour map present
    EXPECT_EQ(out[2], 1);   // colour-mapped
    EXPECT_EQ(out[7], 24);  // the record's reserved fourth byte is not written as alpha
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 18, out.begin() + 21),
              (std::vector<uint8_t>{1, 2, 3}));
}

// The map's first entry index places its entries: pixel values index the whole table.
TEST_F(TgaTest, ColourMapEntriesStartAtTheFirstEntryIndex) {
    Bytes b = tga_header(1, 2, 1, 8, 0x20, 1, 2, 24);
    b.b[3] = 3;  // first entry index 3
    b.u8(1).u8(2).u8(3).u8(40).u8(50).u8(60).u8(4).u8(0);
    Record rec;
    ASSERT_EQ(read_bytes(ReadTgaFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->paletteSize, 5);
    EXPECT_EQ(rec->palette[4 * 3], 1);
    EXPECT_EQ(rec->palette[4 * 4 + 2], 60);
    EXPECT_EQ(rec->palette[0], 0);
    EXPECT_EQ(rec->pixels[0], 4);
}

TEST_F(TgaTest, SixteenBitColourMapAndFifteenBitPixels) {
    // Entry 0x7C1F: red 31, green 0, blue 31.
    Bytes mapped = tga_header(1, 1, 1, 8, 0, 1, 1, 16);
    mapped.le16(0x7C1F).u8(0);
    Record rec;
    ASSERT_EQ(read_bytes(ReadTgaFile, path, mapped.b, rec), BMG_OK);
    EXPECT_EQ(rec->palette[0], 248);
    EXPECT_EQ(rec->palette[1], 0);
    EXPECT_EQ(rec->palette[2], 248);

    Bytes direct = tga_header(2, 2, 1, 15, 0);
    direct.le16(0x1234).le16(0x7FFF);
    Record rec15;
    ASSERT_EQ(read_bytes(ReadTgaFile, path, direct.b, rec15), BMG_OK);
    EXPECT_EQ(rec15->bitsPerPixel, 16);
    EXPECT_EQ(rec15->pixels[0], 0x34);
    EXPECT_EQ(rec15->pixels[3], 0x7F);
}

TEST_F(TgaTest, DescriptorBitsFlipRowsAndColumns) {
    // 2x2 gray, file rows [10 20] [30 40].
    for (unsigned descriptor : {0x00u, 0x10u, 0x20u, 0x30u}) {
        Bytes b = tga_header(3, 2, 2, 8, descriptor);
        b.u8(10).u8(20).u8(30).u8(40);
        Record rec(0);
        ASSERT_EQ(read_bytes(ReadTgaFile, path, b.b, rec), BMG_OK);
        const bool topDown = descriptor & 0x20, mirrored = descriptor & 0x10;
        const uint8_t* firstFileRow = row_of(rec.img, topDown ? 1 : 0);
        EXPECT_EQ(firstFileRow[0], mirrored ? 20 : 10) << descriptor;
        EXPECT_EQ(firstFileRow[1], mirrored ? 10 : 20) << descriptor;
        // Without a colour map, gray entry i is gray i.
        EXPECT_EQ(rec->palette[3 * 40 + 1], 40);
    }
}

TEST_F(TgaTest, RunLengthPacketsAreCutAtTheEndOfTheImage) {
    // 3x2 at 24 bits: a run of 2 red, a literal of 1 blue, then a run of 128 that must stop
    // after the 3 pixels left.
    Bytes b = tga_header(10, 3, 2, 24, 0);
    b.u8(0x81).u8(0).u8(0).u8(255);
    b.u8(0x00).u8(255).u8(0).u8(0);
    b.u8(0xFF).u8(0).u8(200).u8(0);
    Record rec(0);
    ASSERT_EQ(read_bytes(ReadTgaFile, path, b.b, rec), BMG_OK);
    const Picture p = to_picture(rec.img);
    EXPECT_EQ(p.at(0, 1, 0), 255);  // bottom-left: first file pixel
    EXPECT_EQ(p.at(2, 1, 2), 255);
    EXPECT_EQ(p.at(2, 0, 1), 200);
}

TEST_F(TgaTest, RejectedHeadersGiveTheirCodeAndReleaseTheRecord) {
    struct Case {
        Bytes bytes;
        BMGError code;
    };
    const Case cases[] = {
        {tga_header(0, 1, 1, 8, 0), BMG_ERR_FORMAT_OPTION},
        {tga_header(5, 1, 1, 8, 0), BMG_ERR_FORMAT_OPTION},
        {tga_header(2, 1, 1, 12, 0), BMG_ERR_FORMAT_OPTION},
        {tga_header(1, 1, 1, 8, 0, 1, 257, 24), BMG_ERR_FORMAT_OPTION},
        {tga_header(1, 1, 1, 16, 0, 1, 2, 24), BMG_ERR_BITS_PER_PIXEL},
        {tga_header(2, 1, 1, 8, 0), BMG_ERR_BITS_PER_PIXEL},
        {tga_header(2, 0, 1, 24, 0), BMG_ERR_IMAGE_SIZE},
        {tga_header(2, 4, 4, 24, 0), BMG_ERR_READ_FILE},  // no pixel data
        {Bytes().fill(10, 0), BMG_ERR_READ_FILE},
    };
    for (const Case& c : cases) {
        Record rec;
        EXPECT_EQ(read_bytes(ReadTgaFile, path, c.bytes.b, rec), c.code);
        EXPECT_EQ(GetLastImageError(), c.code);
        EXPECT_EQ(rec->pixels, nullptr);
        EXPECT_EQ(rec->palette, nullptr);
    }
    EXPECT_EQ(ReadTgaFile(dir.file("missing.tga").c_str(), nullptr), BMG_ERR_IMAGE_POINTER);
    Record rec;
    EXPECT_EQ(ReadTgaFile(dir.file("missing.tga").c_str(), &rec.img), BMG_ERR_OPEN_FILE);
}

TEST_F(TgaTest, ImageIdAndTheColourMapOfATrueColourFileArePassedOver) {
    Bytes b = tga_header(2, 1, 1, 24, 0, 1, 2, 24, 3);
    b.text("abc").fill(6, 0xEE).u8(7).u8(8).u8(9);
    Record rec;
    ASSERT_EQ(read_bytes(ReadTgaFile, path, b.b, rec), BMG_OK);
    EXPECT_EQ(rec->pixels[0], 7);
    EXPECT_EQ(rec->pixels[2], 9);
}

// Writes an indexed record of the given depth and palette; returns the file.
std::vector<uint8_t> write_indexed(const std::string& path, uint8_t bits, uint16_t entries,
                                   bool gray, const std::vector<uint8_t>& indexes, uint32_t width) {
    Record rec(1);
    rec->width = width;
    rec->height = static_cast<uint32_t>(indexes.size() / width);
    rec->bitsPerPixel = 8;
    rec->paletteSize = entries;
    EXPECT_EQ(AllocateImageRecord(&rec.img), BMG_OK);
    for (uint16_t i = 0; i < entries; ++i) {
        const auto level = static_cast<uint8_t>(255 - i * (256 / entries));  // a reversed ramp
        rec->palette[4 * i] = level;
        rec->palette[4 * i + 1] = gray ? level : 0;
        rec->palette[4 * i + 2] = gray ? level : 255;
    }
    for (uint32_t y = 0; y < rec->height; ++y)
        std::memcpy(rec->pixels + y * rec->rowBytes, &indexes[y * width], width);
    if (bits < 8) {
        EXPECT_EQ(PackIndexedImage(&rec.img), BMG_OK);
    }
    EXPECT_EQ(rec->bitsPerPixel, bits);
    EXPECT_EQ(WriteTgaFile(path.c_str(), rec.img), BMG_OK);
    return testing::read_file(path);
}

TEST_F(TgaTest, WriterPicksTypeByPaletteAndWritesRowsTopFirst) {
    // 3 wide, 2 high; bottom row indexes 0 1 2, top row 3 4 5.
    const std::vector<uint8_t> indexes = {0, 1, 2, 3, 4, 5};
    const auto small = write_indexed(path, 4, 16, true, indexes, 3);
    EXPECT_EQ(small[2], 1);
    EXPECT_EQ(small[16], 8);
    EXPECT_EQ(small[17], 0x20);
    const size_t pixels16 = 18 + 16 * 3;
    ASSERT_EQ(small.size(), pixels16 + 6);
    EXPECT_EQ(std::vector<uint8_t>(small.begin() + pixels16, small.end()),
              (std::vector<uint8_t>{3, 4, 5, 0, 1, 2}));

    // 256 gray entries: type 3 without colour map. The palette is a reversed ramp, so the
    // file must hold the gray levels, not the indexes.
    const auto gray = write_indexed(path, 8, 256, true, indexes, 3);
    EXPECT_EQ(gray[1], 0);
    EXPECT_EQ(gray[2], 3);
    ASSERT_EQ(gray.size(), 18u + 6);
    EXPECT_EQ(gray[18], 252);  // index 3 of the top row
    EXPECT_EQ(gray[21], 255);  // index 0

    const auto colour = write_indexed(path, 8, 256, false, indexes, 3);
    EXPECT_EQ(colour[2], 1);
    EXPECT_EQ(colour.size(), 18u + 256 * 3 + 6);
}

TEST_F(TgaTest, WrittenFilesReadBackPixelForPixel) {
    for (int channels : {3, 4}) {
        const Picture source = pattern(7, 5, channels);
        Record rec(channels == 3 ? 0 : 1);
        rec->width = 7;
        rec->height = 5;
        rec->bitsPerPixel = static_cast<uint8_t>(8 * channels);
        ASSERT_EQ(AllocateImageRecord(&rec.img), BMG_OK);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                uint8_t* px = rec->pixels + (4 - y) * rec->rowBytes + x * channels;
                px[0] = source.at(x, y, 2);
                px[1] = source.at(x, y, 1);
                px[2] = source.at(x, y, 0);
                if (channels == 4) px[3] = source.at(x, y, 3);
            }
        ASSERT_EQ(WriteTgaFile(path.c_str(), rec.img), BMG_OK);
        EXPECT_EQ(testing::read_file(path)[17], channels == 4 ? 0x28 : 0x20);
        Record back(1);
        ASSERT_EQ(ReadTgaFile(path.c_str(), &back.img), BMG_OK);
        EXPECT_EQ(back->bitsPerPixel, 8 * channels);
        EXPECT_TRUE(same_pixels(to_picture(back.img, true), normalised(source, channels == 4)));
    }
}

TEST_F(TgaTest, WriterRefusesRecordsItCannotWrite) {
    BMGImage empty;
    ClearImageRecord(&empty);
    EXPECT_EQ(WriteTgaFile(path.c_str(), empty), BMG_ERR_IMAGE_POINTER);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_IMAGE_POINTER);
    Record rec;
    rec->width = rec->height = 2;
    rec->bitsPerPixel = 24;
    ASSERT_EQ(AllocateImageRecord(&rec.img), BMG_OK);
    EXPECT_EQ(WriteTgaFile(dir.file("no/such/dir.tga").c_str(), rec.img), BMG_ERR_OPEN_FILE);
}

}  // namespace
}  // namespace quorvel::codec_test
