#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "formats/byte_cursor.h"
#include "raster/codecs/codecs.h"
#include "support/image_record.h"
#include "support/test_support.h"

namespace quorvel::raster {
namespace {

using Record = testing::ImageRecord;

using testing::TempDir;

void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x);
    v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    put16(v, at, x);
    put16(v, at + 2, x >> 16);
}

// A BMP file made by hand: headers, `colours` table entries and rows (already padded).
std::vector<uint8_t> bmp_file(int32_t width, int32_t height, uint16_t bits, uint32_t colours,
                              const std::vector<uint8_t>& table, const std::vector<uint8_t>& rows,
                              uint32_t compression = 0, uint32_t header_bytes = 40) {
    std::vector<uint8_t> f(14 + header_bytes, 0);
    f[0] = 'B';
    f[1] = 'M';
    put32(f, 10, static_cast<uint32_t>(14 + header_bytes + table.size()));
    put32(f, 14, header_bytes);
    put32(f, 18, static_cast<uint32_t>(width));
    put32(f, 22, static_cast<uint32_t>(height));
    put16(f, 26, 1);
    put16(f, 28, bits);
    put32(f, 30, compression);
    put32(f, 46, colours);
    for (uint8_t b : table) f.push_back(b);
    for (uint8_t b : rows) f.push_back(b);
    put32(f, 2, static_cast<uint32_t>(f.size()));
    return f;
}

class Bmp : public ::testing::Test {
protected:
    BMGError read(const std::vector<uint8_t>& bytes, Record& r) {
        testing::write_file(dir.file("in.bmp"), bytes);
        return ReadBmpFile(dir.file("in.bmp").c_str(), &r.img);
    }
    TempDir dir;
};

TEST_F(Bmp, RefusesCompressionAndForeignFiles) {
    std::vector<uint8_t> rle =
        bmp_file(2, 2, 8, 2, std::vector<uint8_t>(8, 0), std::vector<uint8_t>(8, 0), 1);
    Record r(0);
    EXPECT_EQ(read(rle, r), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(r.img.pixels, nullptr);
    std::vector<uint8_t> foreign = bmp_file(2, 2, 24, 0, {}, std::vector<uint8_t>(16, 0));
    foreign[0] = 'P';
    EXPECT_EQ(read(foreign, r), BMG_ERR_FORMAT_OPTION);
    std::vector<uint8_t> core = bmp_file(2, 2, 24, 0, {}, std::vector<uint8_t>(16, 0));
    put32(core, 14, 12);  // an OS/2 core header is shorter than the fields we need
    EXPECT_EQ(read(core, r), BMG_ERR_FORMAT_OPTION);
    // In an OS/2 2.x header code 3 is Huffman 1D, not bit fields, whatever bytes 40 to 52 hold.
    std::vector<uint8_t> os2 = bmp_file(1, 1, 32, 0, {}, {1, 2, 3, 4}, 3, 64);
    put32(os2, 14 + 40, 0xFF0000);
    put32(os2, 14 + 44, 0xFF00);
    put32(os2, 14 + 48, 0xFF);
    EXPECT_EQ(read(os2, r), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(ReadBmpFile(dir.file("missing.bmp").c_str(), &r.img), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(ReadBmpFile(dir.file("in.bmp").c_str(), nullptr), BMG_ERR_IMAGE_POINTER);
}

TEST_F(Bmp, PackedRecordTakesTheStartOfEachFileRow) {
    std::vector<uint8_t> rows(24);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i);
    Record r(0);
    ASSERT_EQ(read(bmp_file(3, 2, 24, 0, {}, rows), r), BMG_OK);
    EXPECT_EQ(r.img.rowBytes, 9u);
    EXPECT_EQ(r.img.pixels[8], 8);
    EXPECT_EQ(r.img.pixels[9], 12);
    Record d(1);
    ASSERT_EQ(read(bmp_file(3, 2, 24, 0, {}, rows), d), BMG_OK);
    EXPECT_EQ(std::memcmp(d.img.pixels, rows.data(), 24), 0);
}

TEST_F(Bmp, NegativeHeightGivesAnUprightImage) {
    std::vector<uint8_t> rows = {1, 2, 3, 0, 4, 5, 6, 0};  // 1 x 2, top row first
    Record r(0);
    ASSERT_EQ(read(bmp_file(1, -2, 24, 0, {}, rows), r), BMG_OK);
    EXPECT_EQ(r.img.height, 2u);
    EXPECT_EQ(r.img.pixels[0], 4);  // bottom row first in the record
    EXPECT_EQ(r.img.pixels[3], 1);
}

TEST_F(Bmp, ZeroColoursUsedMeansAFullTable) {
    std::vector<uint8_t> table(1024);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i / 4);
    Record r(1);
    ASSERT_EQ(read(bmp_file(2, 1, 8, 0, table, {0, 255, 0, 0}), r), BMG_OK);
    EXPECT_EQ(r.img.paletteSize, 256);
    EXPECT_EQ(r.img.paletteEntryBytes, 4);
    EXPECT_EQ(r.img.palette[4 * 255], 255);
    EXPECT_EQ(r.img.pixels[1], 255);

    Record small(1);
    ASSERT_EQ(read(bmp_file(2, 1, 8, 3, std::vector<uint8_t>(12, 7), {2, 1, 0, 0}), small), BMG_OK);
    EXPECT_EQ(small.img.paletteSize, 3);
}

TEST_F(Bmp, ImpossibleHeadersFailCleanly) {
    Record r(0);
    // More colours than 4 bits can index.
    EXPECT_EQ(read(bmp_file(2, 1, 4, 17, std::vector<uint8_t>(68, 0), {0, 0, 0, 0}), r),
              BMG_ERR_CORRUPT_FORMAT);
    // Dimensions far beyond the file: refused before any pixel block is taken.
    EXPECT_EQ(read(bmp_file(20000, 20000, 24, 0, {}, std::vector<uint8_t>(16, 0)), r),
              BMG_ERR_READ_FILE);
    EXPECT_EQ(read(bmp_file(40000, 40000, 24, 0, {}, std::vector<uint8_t>(16, 0)), r),
              BMG_ERR_READ_FILE);
    EXPECT_EQ(read(bmp_file(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, {}, {}), r), BMG_ERR_READ_FILE);
    EXPECT_EQ(read(bmp_file(-4, 2, 24, 0, {}, std::vector<uint8_t>(32, 0)), r), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(read(bmp_file(4, INT32_MIN, 24, 0, {}, {}), r), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(
        read(bmp_file(4, 2, 2, 0, std::vector<uint8_t>(16, 0), std::vector<uint8_t>(8, 0)), r),
        BMG_ERR_BITS_PER_PIXEL);
    EXPECT_EQ(r.img.pixels, nullptr);
    // A header size that runs past the end of the file.
    std::vector<uint8_t> long_header = bmp_file(1, 1, 24, 0, {}, {0, 0, 0, 0});
    put32(long_header, 14, 0xFFFFFF00u);
    EXPECT_EQ(read(long_header, r), BMG_ERR_READ_FILE);
}

TEST_F(Bmp, EveryTruncationIsAReadError) {
    std::vector<uint8_t> table(16 * 4, 9);
    const std::vector<uint8_t> whole = bmp_file(5, 3, 4, 16, table, std::vector<uint8_t>(12, 0x12));
    for (size_t length = 0; length < whole.size(); ++length) {
        Record r(0);
        const BMGError code = read(std::vector<uint8_t>(whole.begin(), whole.begin() + length), r);
        EXPECT_EQ(code, BMG_ERR_READ_FILE) << length;
        EXPECT_EQ(r.img.pixels, nullptr) << length;
    }
    Record r(0);
    EXPECT_EQ(read(whole, r), BMG_OK);
}

// Damaged headers of every kind end in a code or a consistent record, never out of bounds
// (run under the sanitizers, this is where a missed bound shows).
TEST_F(Bmp, DamagedHeadersNeverLeaveTheFile) {
    std::vector<uint8_t> table(16 * 4, 9);
    const std::vector<uint8_t> whole = bmp_file(7, 5, 4, 16, table, std::vector<uint8_t>(20, 0x12));
    std::mt19937 random(1234);
    for (int round = 0; round < 1500; ++round) {
        std::vector<uint8_t> damaged = whole;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) damaged[random() % 54] = static_cast<uint8_t>(random());
        Record r(static_cast<int32_t>(round % 2));
        if (read(damaged, r) != BMG_OK) {
            EXPECT_EQ(r.img.pixels, nullptr) << round;
            continue;
        }
        const uint64_t packed = (uint64_t{r.img.width} * r.img.bitsPerPixel + 7) / 8;
        EXPECT_GE(r.img.rowBytes, packed) << round;
        EXPECT_LE(uint64_t{r.img.rowBytes} * r.img.height, damaged.size()) << round;
    }
}

TEST_F(Bmp, LongerHeadersAndStandardBitFieldsAreRead) {
    // A 124-byte header with the masks of plain 32-bit pixels, and a gap before the rows.
    std::vector<uint8_t> f = bmp_file(1, 1, 32, 0, {}, {}, 3, 124);
    put32(f, 14 + 40, 0xFF0000);
    put32(f, 14 + 44, 0xFF00);
    put32(f, 14 + 48, 0xFF);
    f.insert(f.end(), {0xAA, 0xBB, 0xCC, 0xDD});  // gap
    put32(f, 10, static_cast<uint32_t>(f.size()));
    f.insert(f.end(), {10, 20, 30, 40});
    Record r(0);
    ASSERT_EQ(read(f, r), BMG_OK);
    EXPECT_EQ(std::vector<uint8_t>(r.img.pixels, r.img.pixels + 4),
              (std::vector<uint8_t>{10, 20, 30, 40}));
    // Masks that reorder the channels are refused.
    put32(f, 14 + 40, 0xFF);
    put32(f, 14 + 48, 0xFF0000);
    EXPECT_EQ(read(f, r), BMG_ERR_FORMAT_OPTION);
}

TEST_F(Bmp, WriterHeadersFollowTheRecord) {
    Record rgba(1);
    rgba.img.width = 3;
    rgba.img.height = 2;
    rgba.img.bitsPerPixel = 32;
    ASSERT_EQ(AllocateImageRecord(&rgba.img), BMG_OK);
    for (int i = 0; i < 24; ++i) rgba.img.pixels[i] = static_cast<uint8_t>(i + 1);
    ASSERT_EQ(WriteBmpFile(dir.file("a.bmp").c_str(), rgba.img), BMG_OK);
    const std::vector<uint8_t> f = testing::read_file(dir.file("a.bmp"));
    EXPECT_EQ(f[28], 24);
    EXPECT_EQ(formats::le32(f, 10), 54u);
    EXPECT_EQ(formats::le32(f, 2), 54u + 24);
    EXPECT_EQ(formats::le32(f, 34), 24u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 54, f.begin() + 66),
              (std::vector<uint8_t>{1, 2, 3, 5, 6, 7, 9, 10, 11, 0, 0, 0}));

    Record indexed(0);
    indexed.img.width = 5;
    indexed.img.height = 1;
    indexed.img.bitsPerPixel = 8;
    indexed.img.paletteSize = 16;
    ASSERT_EQ(AllocateImageRecord(&indexed.img), BMG_OK);
    ASSERT_EQ(indexed.img.paletteEntryBytes, 3);
    for (int i = 0; i < 48; ++i) indexed.img.palette[i] = static_cast<uint8_t>(200 + i % 50);
    ASSERT_EQ(WriteBmpFile(dir.file("b.bmp").c_str(), indexed.img), BMG_OK);
    const std::vector<uint8_t> g = testing::read_file(dir.file("b.bmp"));
    EXPECT_EQ(formats::le32(g, 10), 118u);
    EXPECT_EQ(formats::le32(g, 46), 16u);
    EXPECT_EQ(g.size(), 118u + 8);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(g[54 + 4 * i], indexed.img.palette[3 * i]) << i;
        EXPECT_EQ(g[54 + 4 * i + 3], 0) << i;
    }
}

TEST_F(Bmp, WriterRefusesRecordsItCannotWrite) {
    Record none(0);
    EXPECT_EQ(WriteBmpFile(dir.file("c.bmp").c_str(), none.img), BMG_ERR_IMAGE_POINTER);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_IMAGE_POINTER);
    Record indexed(1);
    indexed.img.width = indexed.img.height = 2;
    indexed.img.bitsPerPixel = 4;
    ASSERT_EQ(AllocateImageRecord(&indexed.img), BMG_OK);
    const struct {
        const char* what;
        void (*spoil)(BMGImage&);
        BMGError expected;
    } spoilt[] = {
        {"no pixels", [](BMGImage& b) { b.pixels = nullptr; }, BMG_ERR_IMAGE_POINTER},
        {"no width", [](BMGImage& b) { b.width = 0; }, BMG_ERR_IMAGE_POINTER},
        {"no height", [](BMGImage& b) { b.height = 0; }, BMG_ERR_IMAGE_POINTER},
        {"7 bits", [](BMGImage& b) { b.bitsPerPixel = 7; }, BMG_ERR_BITS_PER_PIXEL},
        {"no palette", [](BMGImage& b) { b.palette = nullptr; }, BMG_ERR_IMAGE_POINTER},
        {"no entries", [](BMGImage& b) { b.paletteSize = 0; }, BMG_ERR_IMAGE_POINTER},
        {"2-byte entries", [](BMGImage& b) { b.paletteEntryBytes = 2; }, BMG_ERR_IMAGE_POINTER},
        {"no row bytes", [](BMGImage& b) { b.rowBytes = 0; }, BMG_ERR_IMAGE_POINTER},
    };
    for (const auto& c : spoilt) {
        BMGImage bad = indexed.img;
        c.spoil(bad);
        EXPECT_EQ(WriteBmpFile(dir.file("d.bmp").c_str(), bad), c.expected) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir.file("d.bmp"))) << c.what;
    }
}

// Whatever we write we read back the same, for every depth and both layouts.
TEST_F(Bmp, RoundTripEveryDepth) {
    for (uint8_t bits : {1, 4, 8, 16, 24}) {
        for (int32_t dib : {0, 1}) {
            Record r(dib);
            r.img.width = 7;
            r.img.height = 3;
            r.img.bitsPerPixel = bits;
            ASSERT_EQ(AllocateImageRecord(&r.img), BMG_OK);
            const uint32_t packed = (bits * 7 + 7) / 8;
            for (uint32_t y = 0; y < 3; ++y)
                for (uint32_t x = 0; x < packed; ++x)
                    r.img.pixels[y * r.img.rowBytes + x] = static_cast<uint8_t>(x * 31 + y * 7 + 1);
            for (uint32_t i = 0; i < r.img.paletteSize * r.img.paletteEntryBytes; ++i)
                r.img.palette[i] = static_cast<uint8_t>(i * 3);
            if (r.img.paletteEntryBytes == 4)
                for (uint32_t i = 0; i < r.img.paletteSize; ++i) r.img.palette[4 * i + 3] = 0;
            ASSERT_EQ(WriteBmpFile(dir.file("r.bmp").c_str(), r.img), BMG_OK);
            Record back(dib);
            ASSERT_EQ(ReadBmpFile(dir.file("r.bmp").c_str(), &back.img), BMG_OK);
            ASSERT_EQ(back.img.rowBytes, r.img.rowBytes);
            EXPECT_EQ(std::memcmp(back.img.pixels, r.img.pixels, r.img.rowBytes * 3), 0)
                << int(bits) << dib;
            ASSERT_EQ(back.img.paletteSize, r.img.paletteSize);
            for (uint32_t i = 0; i < r.img.paletteSize; ++i)
                EXPECT_EQ(std::memcmp(back.img.palette + 4 * i,
                                      r.img.palette + i * r.img.paletteEntryBytes, 3),
                          0);
        }
    }
}

}  // namespace
}  // namespace quorvel::raster
