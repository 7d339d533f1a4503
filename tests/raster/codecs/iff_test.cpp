// IFF ILBM reader on hand-made files: chunk walking, bit planes, ByteRun1 rows, palettes and
// the transparent colour, and every rejection.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"
#include "raster/bmg_error.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

struct Chunk {
    const char* id;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> bmhd(unsigned width, unsigned height, unsigned planes = 8,
                          unsigned masking = 0, unsigned compression = 1,
                          unsigned transparent = 0) {
    Bytes b;
    b.be16(width).be16(height).be16(0).be16(0).u8(planes).u8(masking).u8(compression).u8(0);
    b.be16(transparent).u8(10).u8(11).be16(width).be16(height);
    return b.b;
}

std::vector<uint8_t> form(const std::vector<Chunk>& chunks) {
    Bytes body;
    body.text("ILBM");
    for (const Chunk& c : chunks) {
        body.text(c.id).be32(static_cast<uint32_t>(c.data.size())).raw(c.data);
        if (c.data.size() % 2) body.u8(0);
    }
    Bytes file;
    file.text("FORM").be32(static_cast<uint32_t>(body.size())).raw(body.b);
    return file.b;
}

// ByteRun1 rows holding `indexes` (one row of `width` pixels each) as 8 bit planes, every
// plane row written as one literal run.
std::vector<uint8_t> planar_body(const std::vector<std::vector<uint8_t>>& rows, size_t width) {
    const size_t planeBytes = (width + 15) / 16 * 2;
    Bytes b;
    for (const auto& row : rows)
        for (int p = 0; p < 8; ++p) {
            std::vector<uint8_t> plane(planeBytes, 0);
            for (size_t x = 0; x < width; ++x)
                if ((row[x] >> p) & 1) plane[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            b.u8(static_cast<uint8_t>(planeBytes - 1)).raw(plane);
        }
    return b.b;
}

std::vector<uint8_t> cmap(int entries) {
    Bytes b;
    for (int i = 0; i < entries; ++i) b.u8(i).u8(2 * i).u8(255 - i);
    return b.b;
}

using IffTest = CodecFile<"i.iff">;

TEST_F(IffTest, BitPlanesBecomeIndexesTopRowFirst) {
    const std::vector<std::vector<uint8_t>> rows = {{0, 1, 128, 255, 77}, {200, 100, 50, 25, 12}};
    const auto file = form({{"BMHD", bmhd(5, 2)},
                            {"CMAP", cmap(256)},
                            {"CAMG", {0, 0, 0, 4}},
                            {"BODY", planar_body(rows, 5)}});
    Record rec;
    ASSERT_EQ(read_bytes(ReadIffFile, path, file, rec), BMG_OK);
    ASSERT_EQ(rec->bitsPerPixel, 8);
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 1), row_of(rec.img, 1) + 5), rows[0]);
    EXPECT_EQ(std::vector<uint8_t>(row_of(rec.img, 0), row_of(rec.img, 0) + 5), rows[1]);
    EXPECT_EQ(rec->transparentIndex, -1);
}

TEST_F(IffTest, PaletteEntriesAndTransparentColour) {
    Bytes colours;
    colours.u8(200).u8(100).u8(50).fill(15, 0).u8(1).u8(2);  // 6 entries and 2 stray bytes
    const auto file = form(
        {{"BMHD", bmhd(1, 1, 8, 2, 1, 5)}, {"CMAP", colours.b}, {"BODY", planar_body({{5}}, 1)}});
    Record rec;
    ASSERT_EQ(read_bytes(ReadIffFile, path, file, rec), BMG_OK);
    ASSERT_EQ(rec->paletteSize, 6);
    EXPECT_EQ(rec->palette[0], 50);
    EXPECT_EQ(rec->palette[1], 100);
    EXPECT_EQ(rec->palette[2], 200);
    EXPECT_EQ(rec->transparentIndex, 5);

    // A transparent colour beyond the palette would make the bridge write past it.
    const auto beyond = form(
        {{"BMHD", bmhd(1, 1, 8, 2, 1, 9)}, {"CMAP", colours.b}, {"BODY", planar_body({{5}}, 1)}});
    Record outside;
    ASSERT_EQ(read_bytes(ReadIffFile, path, beyond, outside), BMG_OK);
    EXPECT_EQ(outside->transparentIndex, -1);
}

TEST_F(IffTest, ByteRun1RepeatsAndSkipsTheNoOp) {
    // Width 3: plane rows are 2 bytes. Plane 0 row: 0xFE 0xE0 (three repeats, cut to 2), the
    // no-op 0x80 first; planes 1..7: 0xFF 0x00 (two zeros). Pixels: 1, 1, 1.
    Bytes body;
    body.u8(0x80).u8(0xFE).u8(0xE0);
    for (int p = 1; p < 8; ++p) body.u8(0xFF).u8(0);
    const auto file = form({{"BMHD", bmhd(3, 1)}, {"CMAP", cmap(2)}, {"BODY", body.b}});
    Record rec;
    ASSERT_EQ(read_bytes(ReadIffFile, path, file, rec), BMG_OK);
    EXPECT_EQ(std::vector<uint8_t>(rec->pixels, rec->pixels + 3), (std::vector<uint8_t>{1, 1, 1}));
}

TEST_F(IffTest, MaskPlanesArePassedOver) {
    Bytes body;
    for (int p = 0; p < 9; ++p) body.u8(1).u8(p == 8 ? 0xFF : (p == 1 ? 0x80 : 0)).u8(0);
    const auto file = form({{"BMHD", bmhd(2, 1, 8, 1)}, {"CMAP", cmap(4)}, {"BODY", body.b}});
    Record rec;
    ASSERT_EQ(read_bytes(ReadIffFile, path, file, rec), BMG_OK);
    EXPECT_EQ(rec->pixels[0], 2);
    EXPECT_EQ(rec->pixels[1], 0);
}

TEST_F(IffTest, RejectedFiles) {
    const auto body = planar_body({{1, 2}}, 2);
    std::vector<uint8_t> notForm = form({{"BMHD", bmhd(2, 1)}});
    notForm[0] = 'X';
    std::vector<uint8_t> notIlbm = form({{"BMHD", bmhd(2, 1)}});
    notIlbm[8] = 'P';
    std::vector<uint8_t> longBody = body;
    longBody.push_back(0);
    std::vector<uint8_t> overrun = body;
    overrun[0] = 5;  // literal of 6 bytes in a 2-byte plane row
    struct Case {
        std::vector<uint8_t> bytes;
        BMGError code;
    };
    const Case cases[] = {
        {notForm, BMG_ERR_CORRUPT_FILE},
        {notIlbm, BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", bmhd(2, 1, 6)}, {"CMAP", cmap(4)}, {"BODY", body}}), BMG_ERR_FORMAT_OPTION},
        {form({{"BMHD", bmhd(2, 1, 8, 0, 0)}, {"CMAP", cmap(4)}, {"BODY", body}}),
         BMG_ERR_FORMAT_OPTION},
        {form({{"BMHD", bmhd(2, 1, 8, 0, 2)}, {"CMAP", cmap(4)}, {"BODY", body}}),
         BMG_ERR_FORMAT_OPTION},
        {form({{"BMHD", bmhd(2, 1)}, {"ANNO", {'h', 'i'}}, {"CMAP", cmap(4)}, {"BODY", body}}),
         BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", bmhd(2, 1)}, {"CMAP", cmap(4)}, {"BODY", longBody}}), BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", bmhd(2, 1)}, {"CMAP", cmap(4)}, {"BODY", overrun}}), BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", bmhd(2, 1)}, {"BODY", body}, {"CMAP", cmap(4)}}), BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", {1, 2, 3}}, {"CMAP", cmap(4)}, {"BODY", body}}), BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", bmhd(2, 1)}, {"CMAP", cmap(4)}}), BMG_ERR_CORRUPT_FILE},
        {form({{"BMHD", bmhd(0, 1)}, {"CMAP", cmap(4)}, {"BODY", body}}), BMG_ERR_IMAGE_SIZE},
        {form({{"BMHD", bmhd(300, 200)}, {"CMAP", cmap(4)}, {"BODY", body}}), BMG_ERR_CORRUPT_FILE},
        {{'F', 'O', 'R', 'M', 0, 0}, BMG_ERR_READ_FILE},
    };
    for (const Case& c : cases) {
        Record rec;
        EXPECT_EQ(read_bytes(ReadIffFile, path, c.bytes, rec), c.code);
        EXPECT_EQ(GetLastImageError(), c.code);
        EXPECT_EQ(rec->pixels, nullptr);
    }
}

TEST_F(IffTest, LongHeadersAndOversizedPalettesAreBounded) {
    std::vector<uint8_t> longHeader = bmhd(2, 1);
    longHeader.resize(27, 0xEE);  // odd length: a pad byte follows
    const auto file =
        form({{"BMHD", longHeader}, {"CMAP", cmap(300)}, {"BODY", planar_body({{255, 7}}, 2)}});
    Record rec;
    ASSERT_EQ(read_bytes(ReadIffFile, path, file, rec), BMG_OK);
    EXPECT_EQ(rec->paletteSize, 256);
    EXPECT_EQ(rec->pixels[0], 255);
    EXPECT_EQ(rec->pixels[1], 7);
}

}  // namespace
}  // namespace quorvel::codec_test
