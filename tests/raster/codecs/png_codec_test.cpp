// PNG reader and writer on their own: layouts, round trips, and what bad input and bad records
// give back.
#include <gtest/gtest.h>
#include <zlib.h>

#include "support/image_record.h"
#include "support/record_picture.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/png_rows.h"

namespace quorvel::raster {
namespace {

using Record = testing::ImageRecord;

using testing::Picture;
using testing::TempDir;

bool IsEmpty(const BMGImage& img) {
    return img.pixels == nullptr && img.palette == nullptr && img.width == 0 && img.height == 0;
}

TEST(ExpandRows2To4, WidensFourValuesIntoTwoNibblePairs) {
    uint8_t out[2] = {0xEE, 0xEE};
    ExpandRows2To4(out, 0x1B, 2);  // 0, 1, 2, 3
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x23);
    out[1] = 0xEE;
    ExpandRows2To4(out, 0xE4, 1);  // 3, 2, 1, 0: only the first pair is stored
    EXPECT_EQ(out[0], 0x32);
    EXPECT_EQ(out[1], 0xEE);
}

TEST(PngRead, RefusesWhatIsNotAReadablePng) {
    TempDir dir;
    Record r;
    EXPECT_EQ(ReadPngFile(nullptr, nullptr), BMG_ERR_IMAGE_POINTER);
    EXPECT_EQ(ReadPngFile(dir.file("missing.png").c_str(), &r.img), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_OPEN_FILE);

    testing::write_file(dir.file("text.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'});
    r.img.dibLayout = 1;
    EXPECT_EQ(ReadPngFile(dir.file("text.png").c_str(), &r.img), BMG_ERR_FORMAT_OPTION);
    EXPECT_TRUE(IsEmpty(r.img));
    testing::write_file(dir.file("short.png"), {0x89, 'P', 'N'});
    EXPECT_EQ(ReadPngFile(dir.file("short.png").c_str(), &r.img), BMG_ERR_FORMAT_OPTION);
}

TEST(PngRead, DamagedFilesFailCleanlyWithTheRecordReleased) {
    TempDir dir;
    Record source;
    source.img = testing::record_from(testing::pattern(61, 40, 3), 24);
    ASSERT_EQ(WritePngFile(dir.file("good.png").c_str(), source.img), BMG_OK);
    const std::vector<uint8_t> good = testing::read_file(dir.file("good.png"));

    // Cut at many points: inside the header, in IDAT, just before IEND.
    for (size_t keep : {size_t{12}, size_t{33}, size_t{60}, good.size() / 2, good.size() - 20}) {
        testing::write_file(dir.file("cut.png"),
                            std::vector<uint8_t>(good.begin(), good.begin() + keep));
        Record r;
        EXPECT_EQ(ReadPngFile(dir.file("cut.png").c_str(), &r.img), BMG_ERR_CORRUPT_FORMAT) << keep;
        EXPECT_TRUE(IsEmpty(r.img)) << keep;
        EXPECT_EQ(GetLastImageError(), BMG_ERR_CORRUPT_FORMAT);
    }
    // Flipped bits in the compressed data break its checksum.
    std::vector<uint8_t> damaged = good;
    for (size_t i = 60; i < damaged.size() - 20; i += 7) damaged[i] ^= 0x5A;
    testing::write_file(dir.file("damaged.png"), damaged);
    Record r;
    EXPECT_EQ(ReadPngFile(dir.file("damaged.png").c_str(), &r.img), BMG_ERR_CORRUPT_FORMAT);
    EXPECT_TRUE(IsEmpty(r.img));
}

// A PNG chunk: length, type, data, CRC.
void AppendChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    const uint32_t length = static_cast<uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        png.push_back(static_cast<uint8_t>(length >> shift));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    const uLong crc = crc32(0, body.data(), static_cast<uInt>(body.size()));
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(crc >> shift));
}

struct Chunk {
    const char* type;
    std::vector<uint8_t> data;
};

// A one-row PNG of `width` pixels: IHDR, the chunks given, IDAT holding `row`, IEND.
std::vector<uint8_t> OneRowPng(uint8_t width, uint8_t depth, uint8_t colour_type,
                               const std::vector<Chunk>& chunks, const std::vector<uint8_t>& row) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    AppendChunk(png, "IHDR", {0, 0, 0, width, 0, 0, 0, 1, depth, colour_type, 0, 0, 0});
    for (const Chunk& chunk : chunks) AppendChunk(png, chunk.type, chunk.data);
    std::vector<uint8_t> raw = {0};  // filter type none
    raw.insert(raw.end(), row.begin(), row.end());
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(size);
    EXPECT_EQ(compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
    packed.resize(size);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", {});
    return png;
}

// Headers claiming more rows than their file's deflate data could hold are refused before
// any buffer is sized; a file of all-equal rows at deflate's best ratio still loads.
TEST(PngRead, ClaimedSizesMustFitWhatTheFileCanHold) {
    TempDir dir;
    const std::pair<uint32_t, uint8_t> claims[] = {{16000, 8}, {12000, 1}, {5000, 16}};
    for (const auto& [side, depth] : claims) {
        std::vector<uint8_t> png = OneRowPng(1, depth, 0, {}, {0, 0});
        for (int i = 0; i < 4; ++i) {
            png[16 + i] = static_cast<uint8_t>(side >> (24 - 8 * i));  // width
            png[20 + i] = static_cast<uint8_t>(side >> (24 - 8 * i));  // height
        }
        const uLong crc = crc32(0, png.data() + 12, 17);
        for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        testing::write_file(dir.file("claim.png"), png);
        Record r;
        EXPECT_EQ(ReadPngFile(dir.file("claim.png").c_str(), &r.img), BMG_ERR_IMAGE_SIZE) << side;
        EXPECT_TRUE(IsEmpty(r.img));
    }
    Record white;
    white.img =
        testing::record_from(Picture{2000, 1500, 3, std::vector<uint8_t>(9000000, 255)}, 24);
    ASSERT_EQ(WritePngFile(dir.file("white.png").c_str(), white.img), BMG_OK);
    Record r;
    EXPECT_EQ(ReadPngFile(dir.file("white.png").c_str(), &r.img), BMG_OK);
    EXPECT_EQ(r.img.width, 2000u);
}

// An 8-bit palette PNG, one row of `indexes`, with a PLTE of `colours` entries.
std::vector<uint8_t> PalettePng(const std::vector<uint8_t>& indexes, int colours) {
    std::vector<uint8_t> plte;
    for (int i = 0; i < colours; ++i) {
        plte.push_back(static_cast<uint8_t>(100 + i));
        plte.push_back(50);
        plte.push_back(25);
    }
    return OneRowPng(static_cast<uint8_t>(indexes.size()), 8, 3, {{"PLTE", plte}}, indexes);
}

// 16-bit truecolour keyed by tRNS: only the exact key colour shows the bKGD colour, not
// colours that share its high bytes.
TEST(PngRead, SixteenBitColourKeyIsExact) {
    TempDir dir;
    const std::vector<uint8_t> row = {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,   // the key
                                      0xFF, 0xFF, 0x00, 0x01, 0x00, 0x00,   // one step off in green
                                      0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};  // anything else
    testing::write_file(dir.file("k.png"),
                        OneRowPng(3, 16, 2,
                                  {{"tRNS", {0xFF, 0xFF, 0, 0, 0, 0}},
                                   {"bKGD", {0x40, 0x10, 0x50, 0x20, 0x60, 0x30}}},
                                  row));
    Record r;
    ASSERT_EQ(ReadPngFile(dir.file("k.png").c_str(), &r.img), BMG_OK);
    ASSERT_EQ(r.img.bitsPerPixel, 24);
    const std::vector<uint8_t> pixels(r.img.pixels, r.img.pixels + 9);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{0x60, 0x50, 0x40, 0x00, 0x00, 0xFF, 0x9A, 0x56, 0x12}));
}

TEST(PngRead, IndexesPastTheirPaletteFindBlackEntries) {
    TempDir dir;
    testing::write_file(dir.file("ok.png"), PalettePng({0, 1, 2, 1}, 3));
    Record ok;
    ASSERT_EQ(ReadPngFile(dir.file("ok.png").c_str(), &ok.img), BMG_OK);
    EXPECT_EQ(ok.img.paletteSize, 3);  // the PLTE count, as long as the pixels stay inside it

    testing::write_file(dir.file("past.png"), PalettePng({0, 1, 7, 200}, 2));
    Record r;
    ASSERT_EQ(ReadPngFile(dir.file("past.png").c_str(), &r.img), BMG_OK);
    ASSERT_EQ(r.img.paletteSize, 201);
    EXPECT_EQ(r.img.palette[1 * 4 + 2], 101);  // PLTE entries kept (red of entry 1)
    const uint8_t* entry200 = r.img.palette + 200 * r.img.paletteEntryBytes;
    EXPECT_EQ(entry200[0] | entry200[1] | entry200[2], 0);
}

// Whatever a damaged file holds, the reader gives a code and either a whole record or none.
TEST(PngRead, DamagedCopiesNeverGiveAHalfRecord) {
    TempDir dir;
    std::vector<std::vector<uint8_t>> goods;
    Record rgba, palette;
    rgba.img = testing::record_from(testing::pattern(19, 11, 4, 5), 32);
    palette.img = testing::indexed_record(19, 2, 4, std::vector<uint8_t>(38, 3),
                                          {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {9, 9, 9}});
    for (const BMGImage* img : {&rgba.img, &palette.img}) {
        ASSERT_EQ(WritePngFile(dir.file("good.png").c_str(), *img), BMG_OK);
        goods.push_back(testing::read_file(dir.file("good.png")));
    }
    int failures = 0;
    for (const auto& good : goods) {
        for (const auto& bytes : testing::damaged_copies(good, 300, 7)) {
            testing::write_file(dir.file("d.png"), bytes);
            Record r;
            const BMGError code = ReadPngFile(dir.file("d.png").c_str(), &r.img);
            if (code != BMG_OK) {
                ++failures;
                EXPECT_TRUE(IsEmpty(r.img));
                EXPECT_EQ(GetLastImageError(), code);
            } else {
                ASSERT_NE(r.img.pixels, nullptr);
                testing::record_picture(r.img);  // every index inside the palette
            }
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(PngRoundTrip, TruecolourKeepsEveryPixelInEitherLayout) {
    TempDir dir;
    for (int layout : {0, 1}) {
        for (uint8_t bits : {uint8_t{24}, uint8_t{32}}) {
            Record source;
            const Picture picture = testing::pattern(37, 23, 4, bits + layout);
            source.img = testing::record_from(picture, bits, layout);
            const std::string path = dir.file("rt.png");
            ASSERT_EQ(WritePngFile(path.c_str(), source.img), BMG_OK);
            Record back;
            back.img.dibLayout = layout;
            ASSERT_EQ(ReadPngFile(path.c_str(), &back.img), BMG_OK);
            EXPECT_EQ(back.img.bitsPerPixel, bits);
            EXPECT_EQ(back.img.rowBytes, layout ? (37u * bits / 8 + 3) / 4 * 4 : 37u * bits / 8);
            EXPECT_EQ(testing::max_difference(testing::record_picture(back.img),
                                              testing::record_picture(source.img)),
                      0)
                << int{bits} << " bits, layout " << layout;
        }
    }
}

TEST(PngWrite, Rgb555IsWidenedOnACopyAndTheCallersRowsStay) {
    TempDir dir;
    Record source;
    source.img.width = 5;
    source.img.height = 3;
    source.img.bitsPerPixel = 16;
    ASSERT_EQ(AllocateImageRecord(&source.img), BMG_OK);
    for (uint32_t i = 0; i < source.img.rowBytes * source.img.height; ++i)
        source.img.pixels[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::vector<uint8_t> before(source.img.pixels,
                                      source.img.pixels + source.img.rowBytes * 3);
    const uint8_t* const pixels = source.img.pixels;

    ASSERT_EQ(WritePngFile(dir.file("w.png").c_str(), source.img), BMG_OK);
    EXPECT_EQ(source.img.pixels, pixels);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + source.img.rowBytes * 3), before);

    const std::vector<uint8_t> file = testing::read_file(dir.file("w.png"));
    EXPECT_EQ(file[24], 8);  // bit depth
    EXPECT_EQ(file[25], 2);  // truecolour
    Record back;
    ASSERT_EQ(ReadPngFile(dir.file("w.png").c_str(), &back.img), BMG_OK);
    EXPECT_EQ(testing::max_difference(testing::record_picture(back.img),
                                      testing::record_picture(source.img)),
              0);
}

TEST(PngWrite, IndexedRecordsKeepTheirColoursWhateverThePaletteOrder) {
    TempDir dir;
    const std::vector<uint8_t> indexes = {0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 1};
    struct Case {
        const char* name;
        uint8_t bits;
        std::vector<std::array<uint8_t, 3>> palette;
        int colour_type;
    };
    const std::vector<Case> cases = {
        {"black-white", 1, {{0, 0, 0}, {255, 255, 255}}, 0},
        // Written as gray levels the indexes would invert the picture: it goes out as PLTE.
        {"white-black", 1, {{255, 255, 255}, {0, 0, 0}}, 3},
        {"two grays", 4, {{40, 40, 40}, {200, 200, 200}}, 3},
        {"colours", 4, {{255, 0, 0}, {0, 128, 255}}, 3},
        {"colours 8 bits", 8, {{1, 2, 3}, {250, 240, 230}}, 3},
    };
    for (const Case& c : cases) {
        Record source;
        source.img = testing::indexed_record(5, 3, c.bits, indexes, c.palette);
        ASSERT_EQ(WritePngFile(dir.file("i.png").c_str(), source.img), BMG_OK) << c.name;
        const std::vector<uint8_t> file = testing::read_file(dir.file("i.png"));
        EXPECT_EQ(file[24], c.bits) << c.name;
        EXPECT_EQ(file[25], c.colour_type) << c.name;
        Record back;
        ASSERT_EQ(ReadPngFile(dir.file("i.png").c_str(), &back.img), BMG_OK) << c.name;
        EXPECT_EQ(back.img.bitsPerPixel, c.bits) << c.name;
        EXPECT_EQ(testing::max_difference(testing::record_picture(back.img),
                                          testing::record_picture(source.img)),
                  0)
            << c.name;
    }
}

TEST(PngWrite, IndexesPastTheirPaletteStillGiveAValidFile) {
    TempDir dir;
    Record source;
    source.img = testing::indexed_record(4, 2, 4, {0, 1, 2, 9, 9, 2, 1, 0},
                                         {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}});
    ASSERT_EQ(WritePngFile(dir.file("p.png").c_str(), source.img), BMG_OK);
    Record back;
    ASSERT_EQ(ReadPngFile(dir.file("p.png").c_str(), &back.img), BMG_OK);
    EXPECT_GE(back.img.paletteSize, 10);
    const uint8_t* entry9 = back.img.palette + 9 * back.img.paletteEntryBytes;
    EXPECT_EQ(entry9[0] | entry9[1] | entry9[2], 0);
}

TEST(PngWrite, RefusesRecordsItCannotReadSafely) {
    TempDir dir;
    Record source;
    source.img = testing::record_from(testing::pattern(4, 4, 3), 24);
    BMGImage odd = source.img;
    odd.bitsPerPixel = 2;
    EXPECT_EQ(WritePngFile(dir.file("a.png").c_str(), odd), BMG_ERR_BITS_PER_PIXEL);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_BITS_PER_PIXEL);
    BMGImage narrow = source.img;
    narrow.rowBytes = 8;  // 4 pixels of 3 bytes do not fit
    EXPECT_EQ(WritePngFile(dir.file("b.png").c_str(), narrow), BMG_ERR_IMAGE_SIZE);
    BMGImage empty = source.img;
    empty.pixels = nullptr;
    EXPECT_EQ(WritePngFile(dir.file("c.png").c_str(), empty), BMG_ERR_IMAGE_POINTER);
    EXPECT_EQ(WritePngFile(dir.file("no/such/dir.png").c_str(), source.img), BMG_ERR_OPEN_FILE);
}

}  // namespace
}  // namespace quorvel::raster
