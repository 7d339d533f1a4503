// The toolkit's Windows bitmap reader through CreateBMPFromFile: every variant ImageMagick and
// Pillow write, compared pixel for pixel with ImageMagick's own decoding, and variants no tool
// here writes (RLE4 with deltas, top-down rows, OS/2 2.x headers) built from the format.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "formats/byte_cursor.h"
#include "support/load_save_support.h"

namespace quorvel::testing {
namespace {

using formats::le16;
using formats::le32;

struct Variant {
    const char* name;
    std::string command;  // makes out.bmp from src.ppm; %s are replaced
    uint32_t header_bytes;
    uint16_t bits;
    uint32_t compression;
};

std::string magick(const std::string& options, const std::string& format) {
    return "convert SRC " + options + " " + format + ":OUT";
}
std::string pillow(const std::string& conversion) {
    return "/usr/bin/python3 -c \"import sys; from PIL import Image; "
           "Image.open(sys.argv[1]).convert('RGB')" +
           conversion + ".save(sys.argv[2], 'BMP')\" SRC OUT";
}

const Variant kVariants[] = {
    {"Windows 3 24-bit", magick("", "BMP3"), 40, 24, 0},
    {"OS/2 1.x 24-bit", magick("", "BMP2"), 12, 24, 0},
    {"OS/2 1.x 4-bit", magick("-colors 16 -type palette", "BMP2"), 12, 4, 0},
    {"V5 24-bit", magick("", "BMP"), 124, 24, 0},
    {"8-bit palette", magick("-colors 200 -type palette -compress none", "BMP3"), 40, 8, 0},
    {"4-bit palette", magick("-colors 12 -type palette", "BMP3"), 40, 4, 0},
    {"1-bit", magick("-monochrome", "BMP3"), 40, 1, 0},
    {"RLE8", magick("-colors 200 -type palette -compress RLE", "BMP3"), 40, 8, 1},
    {"RLE8 few colours", magick("-colors 12 -type palette -compress RLE", "BMP3"), 40, 8, 1},
    {"16-bit 5-6-5 bit fields", magick("-define bmp:subtype=RGB565", "BMP"), 124, 16, 3},
    {"16-bit 5-5-5 bit fields", magick("-define bmp:subtype=RGB555", "BMP"), 124, 16, 3},
    {"32-bit with alpha bit fields", magick("-alpha set", "BMP"), 124, 32, 3},
    {"Pillow 24-bit", pillow(""), 40, 24, 0},
    {"Pillow 8-bit palette", pillow(".convert('P', palette=Image.ADAPTIVE, colors=100)"), 40, 8, 0},
    {"Pillow 8-bit gray", pillow(".convert('L')"), 40, 8, 0},
    {"Pillow 1-bit", pillow(".convert('1')"), 40, 1, 0},
    {"Pillow 32-bit", pillow(".convert('RGBA')"), 40, 32, 0},
};

class BmpVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(BmpVariants, LoadWithTheToolsPixels) {
    const Variant& v = GetParam();
    TempDir dir;
    write_pnm(dir.file("src.ppm"), colour_pattern(37, 23));
    const std::string bmp = dir.file("out.bmp");
    ASSERT_EQ(run(with_paths(v.command, dir.file("src.ppm"), bmp)), 0) << v.command;
    // The tool wrote the variant this row is about.
    const std::vector<uint8_t> bytes = read_file(bmp);
    const uint32_t header = le32(bytes, 14);
    ASSERT_EQ(header, v.header_bytes);
    EXPECT_EQ(le16(bytes, header == 12 ? 24 : 28), v.bits);
    if (header != 12) {
        EXPECT_EQ(le32(bytes, 30), v.compression);
    }
    const Picture expected = magick_rgb(bmp);
    for (const char* extension : {".bmp", ".dib", ".rle"}) {
        const std::string name = dir.file(std::string("copy") + extension);
        write_file(name, bytes);
        const Picture loaded = handle_picture(load(name));
        EXPECT_EQ(max_difference(loaded, expected), 0) << v.name << " as " << extension;
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, BmpVariants, ::testing::ValuesIn(kVariants), [](const auto& info) {
    std::string name;
    for (char c : std::string(info.param.name))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
});

// A bitmap file around an information header, colour table and pixel bytes.
std::vector<uint8_t> bmp_file(std::vector<uint8_t> info, const std::vector<uint8_t>& colours,
                              const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> out(14 + info.size() + colours.size() + pixels.size(), 0);
    out[0] = 'B';
    out[1] = 'M';
    const uint32_t offset = uint32_t(14 + info.size() + colours.size());
    for (int i = 0; i < 4; ++i) out[10 + i] = uint8_t(offset >> (8 * i));
    size_t at = 14;
    for (const std::vector<uint8_t>* part : {&std::as_const(info), &colours, &pixels}) {
        for (uint8_t b : *part) out[at++] = b;
    }
    const uint32_t size = uint32_t(out.size());
    for (int i = 0; i < 4; ++i) out[2 + i] = uint8_t(size >> (8 * i));
    return out;
}

std::vector<uint8_t> info_header(uint32_t size, int32_t width, int32_t height, uint16_t bits,
                                 uint32_t compression) {
    std::vector<uint8_t> h(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + i] = uint8_t(v >> (8 * i));
    };
    put32(0, size);
    put32(4, uint32_t(width));
    put32(8, uint32_t(height));
    h[12] = 1;
    h[14] = uint8_t(bits);
    put32(16, compression);
    return h;
}

// Sixteen gray levels: index i shows gray 17 * i.
std::vector<uint8_t> gray16() {
    std::vector<uint8_t> table;
    for (int i = 0; i < 16; ++i)
        table.insert(table.end(), {uint8_t(17 * i), uint8_t(17 * i), uint8_t(17 * i), 0});
    return table;
}

TEST(BmpBuilt, Rle4RunsLiteralsDeltaAndEndCodes) {
    // 8 x 3, rows from the bottom: a run of 5 alternating 1/2, a 3-pixel literal 3,4,5, EOL;
    // a delta of (2, 1) that skips the rest of row 1 and two pixels of row 2, then 4 of 15;
    // end of bitmap. Skipped pixels keep index 0.
    const std::vector<uint8_t> rle = {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 1, 4, 0xFF, 0, 1};
    TempDir dir;
    write_file(dir.file("rle4.bmp"), bmp_file(info_header(40, 8, 3, 4, 2), gray16(), rle));
    const Picture loaded = handle_picture(load(dir.file("rle4.bmp")));
    ASSERT_EQ(loaded.width, 8);
    const int expected[3][8] = {
        {0, 0, 15, 15, 15, 15, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 1, 2, 1, 3, 4, 5}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(loaded.at(x, y, 0), 17 * expected[y][x]) << x << "," << y;
}

TEST(BmpBuilt, Rle8RunsThatOvershootARowAreCut) {
    // 4 x 2: a run of 6 of index 15 on the bottom row, EOL, a literal of 2, then a run of 200
    // more and a delta far past the image before the end code.
    const std::vector<uint8_t> rle = {6, 15, 0, 0, 0, 3, 1, 2, 3, 0, 200, 9, 0, 2, 255, 255, 0, 1};
    TempDir dir;
    write_file(dir.file("rle8.bmp"), bmp_file(info_header(40, 4, 2, 8, 1), gray16(), rle));
    const Picture loaded = handle_picture(load(dir.file("rle8.bmp")));
    ASSERT_EQ(loaded.width, 4);
    const int expected[2][4] = {{1, 2, 3, 9}, {15, 15, 15, 15}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(loaded.at(x, y, 0), 17 * expected[y][x]) << x << "," << y;
}

TEST(BmpBuilt, TopDownRowsAndOs2Version2HeaderGiveThePictureUpright) {
    TempDir dir;
    const Picture pattern = colour_pattern(5, 4);
    std::vector<uint8_t> rows;
    for (int y = 0; y < 4; ++y) {  // top row first
        for (int x = 0; x < 5; ++x)
            rows.insert(rows.end(),
                        {pattern.at(x, y, 2), pattern.at(x, y, 1), pattern.at(x, y, 0)});
        rows.push_back(0);  // 15 bytes padded to 16
    }
    write_file(dir.file("top.bmp"), bmp_file(info_header(40, 5, -4, 24, 0), {}, rows));
    EXPECT_EQ(max_difference(handle_picture(load(dir.file("top.bmp"))), pattern), 0);
    // The same rows stored bottom-up behind a 64-byte OS/2 2.x header.
    std::vector<uint8_t> bottom_up;
    for (int y = 3; y >= 0; --y)
        bottom_up.insert(bottom_up.end(), rows.begin() + 16 * y, rows.begin() + 16 * (y + 1));
    write_file(dir.file("os2.bmp"), bmp_file(info_header(64, 5, 4, 24, 0), {}, bottom_up));
    EXPECT_EQ(max_difference(handle_picture(load(dir.file("os2.bmp"))), pattern), 0);
}

TEST(BmpBuilt, SixteenBitsWithoutBitFieldsAreFiveFiveFive) {
    // One row of two pixels: pure red and a mid blue (5-bit 16 widens to 132).
    const std::vector<uint8_t> pixels = {0x00, 0x7C, 0x10, 0x00};
    TempDir dir;
    for (uint32_t header : {40u, 108u}) {  // Windows 3 and V4 headers
        write_file(dir.file("p.bmp"), bmp_file(info_header(header, 2, 1, 16, 0), {}, pixels));
        const Picture p = handle_picture(load(dir.file("p.bmp")));
        ASSERT_EQ(p.width, 2) << header;
        EXPECT_EQ(std::vector<uint8_t>(p.samples.begin(), p.samples.end()),
                  (std::vector<uint8_t>{255, 0, 0, 0, 0, 132}))
            << header;
    }
}

// Damaged files load nothing and leave the previous image in place.
TEST(BmpBuilt, DamagedFilesFailAndKeepThePreviousImage) {
    TempDir dir;
    write_pnm(dir.file("good.ppm"), colour_pattern(9, 9));
    ASSERT_EQ(
        run("convert " + quoted(dir.file("good.ppm")) + " BMP3:" + quoted(dir.file("good.bmp"))),
        0);
    const std::vector<uint8_t> good = read_file(dir.file("good.bmp"));
    std::vector<uint8_t> huge = good;
    huge[18] = huge[19] = huge[20] = 0xFF, huge[21] = 0x7F;  // width 2^31 - 1
    const std::vector<uint8_t> rle_cut = {5, 0x12, 0, 3};    // stops inside a literal, no end code
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"truncated rows", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)},
        {"huge width", huge},
        {"cut RLE", bmp_file(info_header(40, 8, 3, 4, 2), gray16(), rle_cut)},
        {"RLE top-down", bmp_file(info_header(40, 8, -3, 8, 1), {}, {0, 1})},
        {"24-bit bit fields", bmp_file(info_header(40, 1, 1, 24, 3), {}, {0, 0, 0, 0})},
        {"not a bitmap", {'B', 'M', 1, 2}},
        {"empty", {}},
    };
    const HBITMAP previous = load(dir.file("good.bmp"));
    ASSERT_NE(previous, nullptr);
    for (const auto& [name, bytes] : cases) {
        write_file(dir.file("bad.bmp"), bytes);
        EXPECT_EQ(load(dir.file("bad.bmp")), nullptr) << name;
        EXPECT_EQ(load(dir.file("no extension")), previous) << name;
    }
}

}  // namespace
}  // namespace quorvel::testing
