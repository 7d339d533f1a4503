// SGI reader and writer on hand-made files: header rules, planes to pixels, run-length rows,
// and the exact layout the writer produces.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"
#include "raster/bmg_error.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

Bytes sgi_header(unsigned storage, unsigned dimension, unsigned x, unsigned y, unsigned z,
                 unsigned bpc = 1, uint32_t colourMap = 0) {
    Bytes b;
    b.be16(474).u8(storage).u8(bpc).be16(dimension).be16(x).be16(y).be16(z);
    b.be32(0).be32(255).be32(0).fill(80, 0).be32(colourMap).fill(404, 0);
    return b;
}

using SgiTest = CodecFile<"s.rgb">;

TEST_F(SgiTest, VerbatimPlanesBecomeBlueGreenRedAlpha) {
    // 2x1 pixels; planes red (10, 11), green (20, 21), blue (30, 31), alpha (40, 41).
    for (unsigned z : {3u, 4u}) {
        Bytes b = sgi_header(0, 3, 2, 1, z);
        for (unsigned c = 0; c < z; ++c) b.u8(10 * (c + 1)).u8(10 * (c + 1) + 1);
        Record rec(0);
        ASSERT_EQ(read_bytes(ReadSgiRgbFile, path, b.b, rec), BMG_OK);
        ASSERT_EQ(rec->bitsPerPixel, 8 * z);
        const uint8_t* px = rec->pixels + z;  // second pixel
        EXPECT_EQ(px[0], 31);
        EXPECT_EQ(px[1], 21);
        EXPECT_EQ(px[2], 11);
        if (z == 4) {
            EXPECT_EQ(px[3], 41);
        }
    }
}

TEST_F(SgiTest, OneChannelGivesAGrayRampAndRowsStayBottomFirst) {
    Bytes b = sgi_header(0, 2, 2, 2, 1);
    b.u8(1).u8(2).u8(3).u8(4);
    Record rec;
    ASSERT_EQ(read_bytes(ReadSgiRgbFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 8);
    ASSERT_EQ(rec->paletteSize, 256);
    EXPECT_EQ(rec->palette[4 * 200], 200);
    EXPECT_EQ(rec->palette[4 * 200 + 2], 200);
    EXPECT_EQ(row_of(rec.img, 0)[1], 2);
    EXPECT_EQ(row_of(rec.img, 1)[0], 3);
}

TEST_F(SgiTest, DimensionOneReadsASingleRow) {
    Bytes b = sgi_header(0, 1, 3, 7, 1);
    b.u8(5).u8(6).u8(7);
    Record rec;
    ASSERT_EQ(read_bytes(ReadSgiRgbFile, path, b.b, rec), BMG_OK);
    EXPECT_EQ(rec->height, 1u);
    EXPECT_EQ(rec->pixels[2], 7);
}

// A run-length file of one channel, `rows` given as their encoded bytes, bottom row first.
Bytes rle_file(unsigned width, const std::vector<std::vector<uint8_t>>& rows) {
    Bytes b = sgi_header(1, 2, width, static_cast<unsigned>(rows.size()), 1);
    uint32_t at = static_cast<uint32_t>(512 + 8 * rows.size());
    for (const auto& r : rows) {
        b.be32(at);
        at += static_cast<uint32_t>(r.size());
    }
    for (const auto& r : rows) b.be32(static_cast<uint32_t>(r.size()));
    for (const auto& r : rows) b.raw(r);
    return b;
}

TEST_F(SgiTest, RunLengthRowsDecodeRunsAndLiterals) {
    const Bytes b = rle_file(5, {{0x03, 9, 0x82, 1, 2, 0}, {0x85, 1, 2, 3, 4, 5, 0}});
    Record rec;
    ASSERT_EQ(read_bytes(ReadSgiRgbFile, path, b.b, rec), BMG_OK);
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 0), row_of(rec.img, 0) + 5),
              (std::vector<uint8_t>{9, 9, 9, 1, 2}));
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 1), row_of(rec.img, 1) + 5),
              (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(SgiTest, RunLengthRowsThatOverrunOrLackTheirEndAreHandled) {
    Record rec;
    // A row whose last byte is not 0.
    EXPECT_EQ(read_bytes(ReadSgiRgbFile, path, rle_file(2, {{0x02, 9}}).b, rec),
              BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(rec->pixels, nullptr);
    // A literal packet claiming more bytes than the row holds.
    EXPECT_EQ(read_bytes(ReadSgiRgbFile, path, rle_file(2, {{0x90, 1, 0}}).b, rec),
              BMG_ERR_FORMAT_OPTION);
    // A run longer than the row is cut at the row's end; the next row is still right.
    Record cut;
    ASSERT_EQ(read_bytes(ReadSgiRgbFile, path, rle_file(2, {{0x7F, 4, 0}, {0x02, 6, 0}}).b, cut),
              BMG_OK);
    EXPECT_EQ(row_of(cut.img, 0)[1], 4);
    EXPECT_EQ(row_of(cut.img, 1)[0], 6);
    // A row start past the end of the file.
    Bytes far = sgi_header(1, 2, 1, 1, 1);
    far.be32(100000).be32(2).u8(0x01).u8(0);
    EXPECT_EQ(read_bytes(ReadSgiRgbFile, path, far.b, rec), BMG_ERR_READ_FILE);
}

// The row tables may share rows, but not to claim far more than the file could give: 16384 x
// 1024 x 3 from 25 KB (at most some 530 000 pixels).
TEST_F(SgiTest, RowTablesSendingEveryRowToOneRowCannotClaimAHugePicture) {
    const unsigned width = 16384, height = 1024, channels = 3;
    Bytes b = sgi_header(1, 3, width, height, channels);
    const uint32_t data_at = 512 + 8 * height * channels;
    Bytes row;
    for (unsigned left = width; left > 0; left -= std::min(left, 127u))
        row.u8(std::min(left, 127u)).u8(0x55);
    row.u8(0);
    for (unsigned i = 0; i < height * channels; ++i) b.be32(data_at);
    for (unsigned i = 0; i < height * channels; ++i) b.be32(static_cast<uint32_t>(row.b.size()));
    b.raw(row.b);
    Record rec;
    EXPECT_EQ(read_bytes(ReadSgiRgbFile, path, b.b, rec), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(rec->pixels, nullptr);
}

TEST_F(SgiTest, RejectedHeaders) {
    struct Case {
        Bytes bytes;
        BMGError code;
    };
    Bytes badMagic = sgi_header(0, 2, 1, 1, 1);
    badMagic.b[1] = 0xDB;
    const Case cases[] = {
        {badMagic, BMG_ERR_FORMAT_OPTION},
        {sgi_header(0, 2, 1, 1, 1, 2), BMG_ERR_FORMAT_OPTION},
        {sgi_header(0, 2, 1, 1, 1, 1, 1), BMG_ERR_FORMAT_OPTION},
        {sgi_header(0, 3, 1, 1, 2), BMG_ERR_BITS_PER_PIXEL},
        {sgi_header(0, 3, 1, 1, 33), BMG_ERR_BITS_PER_PIXEL},
        {sgi_header(0, 2, 0, 1, 1), BMG_ERR_IMAGE_SIZE},
        {sgi_header(0, 2, 4, 4, 3), BMG_ERR_READ_FILE},
        {Bytes().be16(474).fill(100, 0), BMG_ERR_READ_FILE},
    };
    for (const Case& c : cases) {
        Record rec;
        EXPECT_EQ(read_bytes(ReadSgiRgbFile, path, c.bytes.b, rec), c.code);
        EXPECT_EQ(GetLastImageError(), c.code);
        EXPECT_EQ(rec->pixels, nullptr);
    }
}

struct Written {
    std::vector<uint8_t> bytes;
    uint16_t field(size_t at) const {
        return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
    }
};

TEST_F(SgiTest, GrayPaletteImagesBecomeOneChannel) {
    Record rec(3, 2, 8, 1);
    for (int i = 0; i < 256; ++i) std::memset(rec->palette + 4 * i, 255 - i, 3);
    for (int i = 0; i < 3; ++i) {
        rec->pixels[i] = static_cast<uint8_t>(i);
        rec->pixels[rec->rowBytes + i] = static_cast<uint8_t>(10 + i);
    }
    ASSERT_EQ(WriteSgiRgbFile(path.c_str(), rec.img), BMG_OK);
    const Written w{testing::read_file(path)};
    ASSERT_EQ(w.bytes.size(), 512u + 6);
    EXPECT_EQ(w.field(0), 474);
    EXPECT_EQ(w.field(4), 2);
    EXPECT_EQ(w.field(10), 1);
    EXPECT_EQ(w.bytes[19], 255);
    // Palette values, bottom row first.
    EXPECT_EQ(std::vector<uint8_t>(w.bytes.begin() + 512, w.bytes.end()),
              (std::vector<uint8_t>{255, 254, 253, 245, 244, 243}));

    // A single coloured entry makes it three planes.
    rec->palette[4 * 11 + 2] = 0;
    ASSERT_EQ(WriteSgiRgbFile(path.c_str(), rec.img), BMG_OK);
    const Written c{testing::read_file(path)};
    ASSERT_EQ(c.bytes.size(), 512u + 18);
    EXPECT_EQ(c.field(10), 3);
    EXPECT_EQ(c.bytes[512 + 4], 0);        // red plane, pixel with index 11
    EXPECT_EQ(c.bytes[512 + 6 + 4], 244);  // green plane
}

TEST_F(SgiTest, PaddedDirectColourRowsAllReachThePlanes) {
    Record rec(3, 600, 24, 1);
    ASSERT_EQ(rec->rowBytes, 12u);
    for (uint32_t y = 0; y < 600; ++y)
        for (int x = 0; x < 3; ++x) {
            uint8_t* px = rec->pixels + y * 12 + 3 * x;
            px[0] = static_cast<uint8_t>(y);       // blue
            px[1] = static_cast<uint8_t>(x);       // green
            px[2] = static_cast<uint8_t>(y >> 8);  // red
        }
    ASSERT_EQ(WriteSgiRgbFile(path.c_str(), rec.img), BMG_OK);
    const Written w{testing::read_file(path)};
    ASSERT_EQ(w.bytes.size(), 512u + 3 * 1800);
    EXPECT_EQ(w.field(4), 3);
    EXPECT_EQ(w.field(10), 3);
    EXPECT_EQ(w.bytes[512 + 599 * 3], 2);             // red of the top row
    EXPECT_EQ(w.bytes[512 + 1800 + 599 * 3 + 2], 2);  // green
    EXPECT_EQ(w.bytes[512 + 3600 + 599 * 3], 599 % 256);

    Record back(0);
    ASSERT_EQ(ReadSgiRgbFile(path.c_str(), &back.img), BMG_OK);
    EXPECT_TRUE(same_pixels(to_picture(back.img), to_picture(rec.img)));
}

TEST_F(SgiTest, NameIsCutAndSixteenBitImagesAreWidenedOnACopy) {
    const std::string longName = dir.file(std::string(100 - dir.path().string().size() - 1, 'n'));
    ASSERT_EQ(longName.size(), 100u);
    Record rec(2, 1, 16, 1);
    rec->pixels[0] = 0x1F;  // blue 31
    rec->pixels[2] = 0x00;
    rec->pixels[3] = 0x7C;  // red 31
    uint8_t* original = rec->pixels;
    ASSERT_EQ(WriteSgiRgbFile(longName.c_str(), rec.img), BMG_OK);
    EXPECT_EQ(rec->pixels, original);
    EXPECT_EQ(rec->bitsPerPixel, 16);
    const Written w{testing::read_file(longName)};
    ASSERT_EQ(w.bytes.size(), 512u + 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&w.bytes[24])), longName.substr(0, 79));
    EXPECT_EQ(w.bytes[512 + 1], 248);      // red plane, second pixel
    EXPECT_EQ(w.bytes[512 + 4 + 0], 248);  // blue plane, first pixel
}

}  // namespace
}  // namespace quorvel::codec_test
