// PCX reader on hand-made files: scanlines that hold their planes one after the other, the
// palettes of each depth, run-length packets, and rejected headers.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"
#include "raster/bmg_error.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

Bytes pcx_header(unsigned version, unsigned bits, unsigned width, unsigned height, unsigned planes,
                 unsigned bytesPerLine, unsigned paletteInfo = 1, unsigned encoding = 1) {
    Bytes b;
    b.u8(10).u8(version).u8(encoding).u8(bits).le16(0).le16(0).le16(width - 1).le16(height - 1);
    b.le16(72).le16(72);
    for (int i = 0; i < 16; ++i) b.u8(i * 16).u8(i).u8(255 - i);  // header palette
    b.u8(0).u8(planes).le16(bytesPerLine).le16(paletteInfo).fill(58, 0);
    return b;
}

// A run-length scanline byte: values from 0xC0 up must be written as a run of one.
void literal(Bytes& b, uint8_t v) {
    if (v >= 0xC0) b.u8(0xC1);
    b.u8(v);
}

using PcxTest = CodecFile<"p.pcx">;

TEST_F(PcxTest, TwoHundredFiftySixColoursTakeThePaletteAtTheEnd) {
    Bytes b = pcx_header(5, 8, 3, 2, 1, 4);
    b.u8(0xC3).u8(7).u8(0);  // top row 7 7 7, pad 0
    literal(b, 1);
    literal(b, 200);
    literal(b, 3);
    b.u8(0);
    b.u8(12);
    for (int i = 0; i < 256; ++i) b.u8(i).u8(255 - i).u8(i / 2);
    Record rec;
    ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 8);
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 1), row_of(rec.img, 1) + 3),
              (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 0), row_of(rec.img, 0) + 3),
              (std::vector<uint8_t>{1, 200, 3}));
    EXPECT_EQ(rec->palette[4 * 200 + 0], 100);  // blue
    EXPECT_EQ(rec->palette[4 * 200 + 1], 55);   // green
    EXPECT_EQ(rec->palette[4 * 200 + 2], 200);  // red

    b.b[b.size() - 769] = 11;
    Record missing;
    EXPECT_EQ(read_bytes(ReadPcxFile, path, b.b, missing), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(missing->pixels, nullptr);

    // An older file without the marker is gray, its pixels read from where they start.
    b.b[1] = 3;
    Record gray;
    ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, gray), BMG_OK);
    EXPECT_EQ(row_of(gray.img, 1)[0], 7);
    EXPECT_EQ(gray->palette[4 * 200 + 1], 200);
}

TEST_F(PcxTest, TrueColourPlanesAreInterleavedRowByRow) {
    // 2x2, bytes per line 2: each scanline holds red, green, blue plane rows in turn.
    Bytes b = pcx_header(5, 8, 2, 2, 3, 2);
    for (int row = 0; row < 2; ++row)
        for (int plane = 0; plane < 3; ++plane)
            for (int x = 0; x < 2; ++x)
                literal(b, static_cast<uint8_t>(100 * plane + 10 * row + x));
    Record rec(0);
    ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 24);
    const uint8_t* top = row_of(rec.img, 1);
    EXPECT_EQ(top[3 + 2], 1);    // red of top-right pixel
    EXPECT_EQ(top[3 + 1], 101);  // green
    EXPECT_EQ(top[3 + 0], 201);  // blue
    EXPECT_EQ(row_of(rec.img, 0)[0], 210);
}

TEST_F(PcxTest, RunsMayCrossPlanesButNotScanlines) {
    // A run of 5 fills the red and green rows (2 + 2) and the first blue byte; a run of 63 at
    // the end of the scanline stops there, so the second scanline still decodes.
    Bytes b = pcx_header(5, 8, 2, 2, 3, 2);
    b.u8(0xC5).u8(9).u8(0xFF).u8(4);
    b.u8(0xC6).u8(1);
    Record rec(0);
    ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK);
    EXPECT_EQ(row_of(rec.img, 1)[0], 9);
    EXPECT_EQ(row_of(rec.img, 1)[3], 4);
    EXPECT_EQ(row_of(rec.img, 0)[5], 1);
}

TEST_F(PcxTest, OneBitPalettes) {
    Bytes bw = pcx_header(5, 1, 10, 1, 1, 2, 0);
    literal(bw, 0xA5);
    literal(bw, 0xC0);
    Record rec;
    ASSERT_EQ(read_bytes(ReadPcxFile, path, bw.b, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 1);
    EXPECT_EQ(rec->pixels[0], 0xA5);
    EXPECT_EQ(rec->pixels[1], 0xC0);
    EXPECT_EQ(rec->palette[0], 0);
    EXPECT_EQ(rec->palette[4], 255);
    EXPECT_EQ(rec->palette[6], 255);

    Bytes coloured = bw;
    coloured.b[68] = 1;
    Record header;
    ASSERT_EQ(read_bytes(ReadPcxFile, path, coloured.b, header), BMG_OK);
    EXPECT_EQ(header->palette[4 + 2], 16);  // entry 1 red from header bytes 19
    EXPECT_EQ(header->palette[4 + 0], 254);

    // Palette information 1 but an empty header palette (entries 0 and 1 alike), as some
    // writers leave it: black and white, not a picture of one colour.
    for (int i = 16; i < 64; ++i) coloured.b[i] = 0;
    Record empty;
    ASSERT_EQ(read_bytes(ReadPcxFile, path, coloured.b, empty), BMG_OK);
    EXPECT_EQ(empty->palette[0], 0);
    EXPECT_EQ(empty->palette[4], 255);
}

TEST_F(PcxTest, SixteenColourBitPlanesCombineIntoIndexes) {
    // 3 pixels, 4 planes of one bit: pixel 0 has planes 0 and 2 set (5), pixel 1 plane 3 (8),
    // pixel 2 every plane (15).
    Bytes b = pcx_header(5, 1, 3, 1, 4, 2);
    for (uint8_t plane : {0xA0, 0x20, 0xA0, 0x60}) {
        literal(b, plane);
        literal(b, 0);
    }
    Record rec;
    ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 4);
    EXPECT_EQ(index_at(rec.img, 0, 0), 5);
    EXPECT_EQ(index_at(rec.img, 1, 0), 8);
    EXPECT_EQ(index_at(rec.img, 2, 0), 15);
    EXPECT_EQ(rec->palette[4 * 15 + 2], 240);
}

// Bit-plane scanlines whose plane rows are padded past the pixels: each plane row starts
// bytes-per-line bytes after the previous one, and its padding bytes (0xFF here) are not pixels.
TEST_F(PcxTest, PaddedBitPlanesStartEveryBytesPerLine) {
    const unsigned width = 17, height = 2, bytesPerLine = 4;  // 3 bytes of pixels, 1 of padding
    auto index_of = [](unsigned x, unsigned y, unsigned planes) {
        return (x * 7 + y * 5 + 3) % (1u << planes);
    };
    for (unsigned planes : {2u, 3u, 4u}) {
        Bytes b = pcx_header(5, 1, width, height, planes, bytesPerLine);
        for (unsigned y = 0; y < height; ++y)
            for (unsigned p = 0; p < planes; ++p)
                for (unsigned byte = 0; byte < bytesPerLine; ++byte) {
                    uint8_t v = 0;
                    for (unsigned bit = 0; bit < 8; ++bit) {
                        const unsigned x = 8 * byte + bit;
                        const unsigned on = x < width ? (index_of(x, y, planes) >> p) & 1u : 1u;
                        v = static_cast<uint8_t>(v | on << (7 - bit));
                    }
                    literal(b, v);
                }
        Record rec;
        ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK) << planes;
        ASSERT_EQ(rec->bitsPerPixel, 4);
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x)
                ASSERT_EQ(index_at(rec.img, x, height - 1 - y), index_of(x, y, planes))
                    << planes << " planes, pixel " << x << "," << y;
    }
}

TEST_F(PcxTest, PaddedBytePlanesStartEveryBytesPerLine) {
    const unsigned width = 3, height = 2, bytesPerLine = 4;
    auto sample = [](unsigned x, unsigned y, unsigned p) {
        return static_cast<uint8_t>(60 * p + 10 * y + x);
    };
    for (unsigned planes : {3u, 4u}) {
        Bytes b = pcx_header(5, 8, width, height, planes, bytesPerLine);
        for (unsigned y = 0; y < height; ++y)
            for (unsigned p = 0; p < planes; ++p)
                for (unsigned x = 0; x < bytesPerLine; ++x)
                    literal(b, x < width ? sample(x, y, p) : 0xEE);
        Record rec;
        ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK) << planes;
        ASSERT_EQ(rec->bitsPerPixel, 8 * planes);
        static constexpr unsigned kByteOf[4] = {2, 1, 0, 3};  // red, green, blue, alpha
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x)
                for (unsigned p = 0; p < planes; ++p)
                    EXPECT_EQ(row_of(rec.img, height - 1 - y)[x * planes + kByteOf[p]],
                              sample(x, y, p))
                        << planes << " planes, pixel " << x << "," << y << " plane " << p;
    }
}

TEST_F(PcxTest, WideScanlinesKeepOnlyThePixels) {
    Bytes b = pcx_header(5, 4, 3, 1, 1, 6);
    b.u8(0x12).u8(0x30).u8(0xC4).u8(0xEE);
    Record rec(0);
    ASSERT_EQ(read_bytes(ReadPcxFile, path, b.b, rec), BMG_OK);
    ASSERT_EQ(rec->rowBytes, 2u);
    EXPECT_EQ(rec->pixels[0], 0x12);
    EXPECT_EQ(rec->pixels[1], 0x30);
}

TEST_F(PcxTest, RejectedFiles) {
    struct Case {
        Bytes bytes;
        BMGError code;
    };
    Bytes manufacturer = pcx_header(5, 8, 2, 2, 1, 2);
    manufacturer.b[0] = 11;
    Bytes inverted = pcx_header(5, 8, 2, 2, 1, 2);
    inverted.b[4] = 9;
    const Case cases[] = {
        {manufacturer, BMG_ERR_FORMAT_OPTION},
        {pcx_header(5, 8, 2, 2, 1, 2, 1, 0), BMG_ERR_FORMAT_OPTION},
        {pcx_header(5, 2, 2, 2, 1, 2), BMG_ERR_BITS_PER_PIXEL},
        {pcx_header(5, 8, 2, 2, 2, 2), BMG_ERR_BITS_PER_PIXEL},
        {pcx_header(5, 4, 2, 2, 2, 2), BMG_ERR_BITS_PER_PIXEL},
        {inverted, BMG_ERR_IMAGE_SIZE},
        {pcx_header(5, 8, 9, 2, 3, 4), BMG_ERR_CORRUPT_FILE},
        {pcx_header(5, 8, 2, 2, 3, 2), BMG_ERR_READ_FILE},
        {Bytes().u8(10).fill(50, 0), BMG_ERR_READ_FILE},
    };
    for (const Case& c : cases) {
        Record rec;
        EXPECT_EQ(read_bytes(ReadPcxFile, path, c.bytes.b, rec), c.code);
        EXPECT_EQ(GetLastImageError(), c.code);
        EXPECT_EQ(rec->pixels, nullptr);
        EXPECT_EQ(rec->palette, nullptr);
    }
}

}  // namespace
}  // namespace quorvel::codec_test
