// CEL reader on hand-made still pictures and FLI/FLC animations.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"
#include "raster/bmg_error.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

Bytes still(unsigned width, unsigned height, unsigned depth = 8, unsigned compression = 0) {
    Bytes b;
    b.le16(0x9119).le16(width).le16(height).le16(0).le16(0).u8(depth).u8(compression).fill(20, 0);
    for (int i = 0; i < 256; ++i) b.u8(i % 64).u8(63 - i % 64).u8(i / 4);
    for (unsigned i = 0; i < width * height; ++i) b.u8(i);
    return b;
}

struct Sub {
    uint16_t type;
    std::vector<uint8_t> data;
};

Bytes frame_chunk(const std::vector<Sub>& subs, uint16_t type = 0xF1FA, int count = -1) {
    Bytes body;
    for (const Sub& s : subs)
        body.le32(static_cast<uint32_t>(6 + s.data.size())).le16(s.type).raw(s.data);
    Bytes chunk;
    chunk.le32(static_cast<uint32_t>(16 + body.size())).le16(type);
    chunk.le16(count < 0 ? static_cast<unsigned>(subs.size()) : static_cast<unsigned>(count))
        .fill(8, 0)
        .raw(body.b);
    return chunk;
}

Bytes flic(unsigned width, unsigned height, const std::vector<Bytes>& chunks,
           unsigned magic = 0xAF12, unsigned depth = 8) {
    Bytes b;
    b.le32(0).le16(magic).le16(1).le16(width).le16(height).le16(depth).fill(128 - 14, 0);
    for (const Bytes& c : chunks) b.raw(c.b);
    return b;
}

// One packet setting entries from `first`: skip byte, count byte (0 = 256), colours.
std::vector<uint8_t> colour_chunk(uint8_t first, int count, uint8_t value) {
    Bytes b;
    b.le16(1).u8(first).u8(count == 256 ? 0 : count);
    for (int i = 0; i < count; ++i) b.u8(value).u8(i).u8(255 - i);
    return b.b;
}

using CelTest = CodecFile<"c.cel">;

TEST_F(CelTest, StillPictureScalesItsPaletteAndFlipsRows) {
    Record rec;
    ASSERT_EQ(read_bytes(ReadCelFile, path, still(3, 2).b, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 8);
    ASSERT_EQ(rec->paletteSize, 256);
    EXPECT_EQ(rec->palette[4 * 63 + 2], 252);  // red 63 * 4
    EXPECT_EQ(rec->palette[4 * 63 + 1], 0);
    EXPECT_EQ(rec->palette[4 * 200 + 0], 200);  // blue 50 * 4
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 1), row_of(rec.img, 1) + 3),
              (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(row_of(rec.img, 0)[2], 5);
}

TEST_F(CelTest, FlcFrameWithColoursAndByteRun) {
    // 4x2: row 0 = run of 3 sevens and a literal 9; row 1 = literal 1 2 3 4.
    Bytes run;
    run.u8(0).u8(3).u8(7).u8(0xFF).u8(9);
    run.u8(0).u8(0xFC).u8(1).u8(2).u8(3).u8(4);
    const Bytes file =
        flic(4, 2,
             {frame_chunk({}, 0xF100), frame_chunk({{4, colour_chunk(2, 3, 77)}, {15, run.b}}),
              frame_chunk({{16, std::vector<uint8_t>(8, 42)}})});
    Record rec;
    ASSERT_EQ(read_bytes(ReadCelFile, path, file.b, rec), BMG_OK);
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 1), row_of(rec.img, 1) + 4),
              (std::vector<uint8_t>{7, 7, 7, 9}));
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 0), row_of(rec.img, 0) + 4),
              (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(rec->palette[4 * 2 + 2], 77);
    EXPECT_EQ(rec->palette[4 * 4 + 1], 2);
    EXPECT_EQ(rec->palette[4 * 5 + 2], 0);  // not set
}

TEST_F(CelTest, FliLiteralBlackAndSixtyFourLevelColours) {
    std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6};
    const Bytes literal =
        flic(3, 2, {frame_chunk({{11, colour_chunk(0, 256, 63)}, {16, pixels}})}, 0xAF11);
    Record rec;
    ASSERT_EQ(read_bytes(ReadCelFile, path, literal.b, rec), BMG_OK);
    EXPECT_EQ(rec->palette[4 * 10 + 2], 252);
    EXPECT_EQ(rec->palette[4 * 10 + 1], 40);
    EXPECT_EQ(row_of(rec.img, 1)[0], 1);
    EXPECT_EQ(row_of(rec.img, 0)[2], 6);

    const Bytes black =
        flic(3, 2, {frame_chunk({{7, {1, 2}}, {13, {}}, {4, colour_chunk(0, 1, 5)}})});
    Record dark;
    ASSERT_EQ(read_bytes(ReadCelFile, path, black.b, dark), BMG_OK);
    EXPECT_EQ(dark->pixels[0], 0);
    EXPECT_EQ(dark->palette[2], 5);
}

TEST_F(CelTest, ColourPacketsPastThePaletteAreDropped) {
    Bytes colours;
    colours.le16(2).u8(250).u8(4);
    for (int i = 0; i < 4; ++i) colours.u8(1).u8(2).u8(3);
    colours.u8(200).u8(10);  // starts at 254 + 200, far past the palette
    for (int i = 0; i < 10; ++i) colours.u8(9).u8(9).u8(9);
    const Bytes file = flic(1, 1, {frame_chunk({{4, colours.b}, {16, {0}}})});
    Record rec;
    ASSERT_EQ(read_bytes(ReadCelFile, path, file.b, rec), BMG_OK);
    EXPECT_EQ(rec->palette[4 * 253 + 2], 1);
}

TEST_F(CelTest, RejectedFiles) {
    Bytes wrongRun;
    wrongRun.u8(0).u8(2).u8(7).u8(0xEE).u8(0xEE);  // two bytes too many
    Bytes shortRun;
    shortRun.u8(0).u8(0xFE).u8(7);  // literal of 2 with 1 byte
    std::vector<uint8_t> badColours = colour_chunk(0, 2, 1);
    badColours.push_back(0);
    Bytes tinySub;
    tinySub.le32(0x20).le16(0xF1FA).le16(1).fill(8, 0).le32(3).le16(16).fill(10, 0);
    struct Case {
        Bytes bytes;
        BMGError code;
    };
    const Case cases[] = {
        {Bytes().le16(0x1234).le16(0).le16(0x5555).fill(200, 0), BMG_ERR_FORMAT_OPTION},
        {still(2, 2, 4), BMG_ERR_FORMAT_OPTION},
        {still(2, 2, 8, 1), BMG_ERR_FORMAT_OPTION},
        {flic(2, 2, {}, 0xAF12, 16), BMG_ERR_FORMAT_OPTION},
        {flic(2, 2, {frame_chunk({{99, {}}})}), BMG_ERR_FORMAT_OPTION},
        {flic(2, 1, {frame_chunk({{15, wrongRun.b}})}), BMG_ERR_CORRUPT_FILE},
        {flic(2, 1, {frame_chunk({{15, shortRun.b}})}), BMG_ERR_CORRUPT_FILE},
        {flic(2, 1, {frame_chunk({{16, {1, 2, 3}}})}), BMG_ERR_CORRUPT_FILE},
        {flic(2, 1, {frame_chunk({{4, badColours}, {16, {1, 2}}})}), BMG_ERR_CORRUPT_FILE},
        {flic(2, 1, {tinySub}), BMG_ERR_CORRUPT_FILE},
        {flic(2, 1, {Bytes().le32(4).le16(0xF100).fill(10, 0)}), BMG_ERR_CORRUPT_FILE},
        {flic(2, 1, {frame_chunk({{4, colour_chunk(0, 2, 1)}})}), BMG_ERR_READ_FILE},
        {flic(0, 1, {}), BMG_ERR_IMAGE_SIZE},
        {Bytes().le16(0x9119).fill(10, 0), BMG_ERR_READ_FILE},
        {Bytes().u8(1), BMG_ERR_READ_FILE},
    };
    for (const Case& c : cases) {
        Record rec;
        EXPECT_EQ(read_bytes(ReadCelFile, path, c.bytes.b, rec), c.code);
        EXPECT_EQ(GetLastImageError(), c.code);
        EXPECT_EQ(rec->pixels, nullptr);
    }
}

TEST_F(CelTest, OddByteRunSizesAllowOnePadByte) {
    Bytes run;
    run.u8(0).u8(2).u8(7).u8(0);  // one pad byte after the row
    Record rec;
    ASSERT_EQ(read_bytes(ReadCelFile, path, flic(2, 1, {frame_chunk({{15, run.b}})}).b, rec),
              BMG_OK);
    EXPECT_EQ(rec->pixels[1], 7);
}

// Writers pad a frame to an even size; a file may end without that pad byte, so the last
// frame's declared size runs past the end while every sub-chunk in it is complete.
TEST_F(CelTest, LastFrameMayClaimAPadByteTheFileLacks) {
    Bytes run;
    run.u8(0).u8(3).u8(7).u8(0xFF).u8(9);  // 4x1: 7 7 7 9, an odd-sized sub-chunk
    const Sub colours{4, colour_chunk(7, 2, 60)};
    const Sub pixels{15, run.b};
    auto padded = [](Bytes frame, uint32_t extra) {
        const uint32_t size = static_cast<uint32_t>(frame.size()) + extra;
        for (int i = 0; i < 4; ++i) frame.b[i] = static_cast<uint8_t>(size >> (8 * i));
        return frame;
    };
    struct Case {
        const char* label;
        Bytes frame;
        size_t cut;  // bytes taken off the file's end
        BMGError code;
    };
    const Case cases[] = {
        {"colours then pixels", padded(frame_chunk({colours, pixels}), 1), 0, BMG_OK},
        {"pixels then colours", padded(frame_chunk({pixels, colours}), 1), 0, BMG_OK},
        {"postage stamp first", padded(frame_chunk({{18, {1, 2, 3}}, colours, pixels}), 1), 0,
         BMG_OK},
        {"last sub-chunk cut", padded(frame_chunk({colours, pixels}), 1), 1, BMG_ERR_READ_FILE},
        {"colours cut", padded(frame_chunk({pixels, colours}), 1), 2, BMG_ERR_READ_FILE},
        {"no pixels", padded(frame_chunk({colours}), 1), 0, BMG_ERR_READ_FILE},
        {"a third sub-chunk missing", padded(frame_chunk({colours, pixels}, 0xF1FA, 3), 1), 0,
         BMG_ERR_READ_FILE},
    };
    for (const Case& c : cases) {
        Bytes file = flic(4, 1, {frame_chunk({}, 0xF100), c.frame});
        file.b.resize(file.size() - c.cut);
        Record rec;
        ASSERT_EQ(read_bytes(ReadCelFile, path, file.b, rec), c.code) << c.label;
        EXPECT_EQ(GetLastImageError(), c.code) << c.label;
        if (c.code != BMG_OK) continue;
        EXPECT_EQ(std::vector<uint8_t>(rec->pixels, rec->pixels + 4),
                  (std::vector<uint8_t>{7, 7, 7, 9}))
            << c.label;
        EXPECT_EQ(rec->palette[4 * 8 + 2], 60) << c.label;
        EXPECT_EQ(rec->palette[4 * 8 + 1], 1) << c.label;
    }
}

}  // namespace
}  // namespace quorvel::codec_test
