#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <quorvel/wingdi.h>

#include "raster/bridge.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "readers/format_table.h"
#include "support/codec_test_helpers.h"
#include "support/image_record.h"
#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "wsq/diag.h"

namespace quorvel::raster {
namespace {

using Record = testing::ImageRecord;

using testing::TempDir;

// A 24-bit DIB section holding a ridge pattern in colour; deleted with the fixture.
class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        BITMAPINFO info = FillBitmapInfoHeader(kWidth, kHeight, 24, BI_RGB);
        void* raw = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        bits = static_cast<uint8_t*>(raw);
        const std::vector<uint8_t> gray = testing::ridge_pattern(kWidth, kHeight, 9);
        const uint32_t stride = (kWidth * 3 + 3) & ~3u;
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                uint8_t* p = bits + (kHeight - 1 - y) * stride + 3 * x;
                p[0] = p[1] = p[2] = gray[y * kWidth + x];
            }
    }
    void TearDown() override { DeleteObject(bitmap); }

    static std::string magic(const std::string& file, size_t count) {
        const std::vector<uint8_t> bytes = testing::read_file(file);
        return std::string(bytes.begin(), bytes.begin() + std::min(count, bytes.size()));
    }

    static constexpr uint32_t kWidth = 97, kHeight = 85;
    TempDir dir;
    HBITMAP bitmap = nullptr;
    uint8_t* bits = nullptr;
};

std::string quoted(const std::string& path) { return std::string("'").append(path).append("'"); }

TEST_F(Dispatch, ExtensionPicksTheWriterByItsFirstThreeLetters) {
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("image.tiff").c_str(), nullptr), BMG_OK);
    const std::string tiff = magic(dir.file("image.tiff"), 4);
    EXPECT_TRUE(tiff == std::string("II*\0", 4) || tiff == std::string("MM\0*", 4));
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("IMAGE.Wsq").c_str(), nullptr), BMG_OK);
    EXPECT_EQ(magic(dir.file("IMAGE.Wsq"), 2), "\xFF\xA0");
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("a.BmPx").c_str(), nullptr), BMG_OK);
    EXPECT_EQ(magic(dir.file("a.BmPx"), 2), "BM");

    EXPECT_EQ(WriteImageFile(bitmap, dir.file("image.jpeg").c_str(), nullptr), BMG_ERR_EXTENSION);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_EXTENSION);
    EXPECT_FALSE(std::filesystem::exists(dir.file("image.jpeg")));
    EXPECT_EQ(WriteImageFile(bitmap, dir.file("image.ti").c_str(), nullptr), BMG_ERR_EXTENSION);
}

TEST_F(Dispatch, NamesWithoutAnExtension) {
    std::filesystem::create_directory(dir.file("data.old"));
    const std::string scan = dir.file("data.old") + "/scan";
    EXPECT_EQ(WriteImageFile(bitmap, scan.c_str(), nullptr), BMG_ERR_EXTENSION);
    Record r;
    EXPECT_EQ(ReadImageFile(scan.c_str(), &r.img, nullptr), BMG_ERR_EXTENSION);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_EXTENSION);

    EXPECT_EQ(ReadImageFile("nodot", &r.img, nullptr), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(GetLastImageError(), BMG_OK);
    EXPECT_EQ(ReadImageFile(nullptr, &r.img, nullptr), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(WriteImageFile(bitmap, "nodot", nullptr), BMG_ERR_EXTENSION);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_EXTENSION);
    EXPECT_EQ(WriteImageFile(bitmap, nullptr, nullptr), BMG_ERR_EXTENSION);
}

TEST_F(Dispatch, NullBitmapFailsBeforeTheExtensionIsLookedAt) {
    EXPECT_EQ(WriteImageFile(nullptr, dir.file("x.jpeg").c_str(), nullptr), BMG_ERR_BITMAP_HANDLE);
    EXPECT_STREQ(GetImageErrorText(), "Invalid bitmap handle");
    EXPECT_EQ(WriteImageFile(bitmap, dir.file("x.png").c_str(), nullptr), BMG_OK);
    EXPECT_STREQ(GetImageErrorText(), "No Error");
}

TEST_F(Dispatch, JpegQualityComesFromTheOptions) {
    ASSERT_TRUE(testing::have_tool("identify"));
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("q100.jpg").c_str(), nullptr), BMG_OK);
    int32_t quality = 50;
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("q50.jpg").c_str(), &quality), BMG_OK);
    EXPECT_EQ(testing::run_output("identify -format %Q '" + dir.file("q100.jpg") + "'"), "100");
    EXPECT_EQ(testing::run_output("identify -format %Q '" + dir.file("q50.jpg") + "'"), "50");
}

// Every writer row reads back through its reader row with the picture's size.
TEST_F(Dispatch, EveryWriterRowReadsBack) {
    for (const char* ext : {"wsq", "tif", "png", "jpg", "bmp", "rgb", "tga"}) {
        const std::string file = dir.file(std::string("round.") + ext);
        ASSERT_EQ(WriteImageFile(bitmap, file.c_str(), nullptr), BMG_OK) << ext;
        Record r;
        WsqFileOptions options{24, 0.75, 500, nullptr};
        ASSERT_EQ(ReadImageFile(file.c_str(), &r.img, &options), BMG_OK)
            << ext << ": " << GetImageErrorText();
        EXPECT_EQ(r.img.width, kWidth) << ext;
        EXPECT_EQ(r.img.height, kHeight) << ext;
        std::free(options.comment);
    }
    // ".rgba" reads with the SGI reader.
    std::filesystem::copy_file(dir.file("round.rgb"), dir.file("copy.rgba"));
    Record sgi;
    EXPECT_EQ(ReadImageFile(dir.file("copy.rgba").c_str(), &sgi.img, nullptr), BMG_OK);
}

TEST_F(Dispatch, ReadOnlyRowsReachTheirReaders) {
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("src.png").c_str(), nullptr), BMG_OK);
    const std::string png = quoted(dir.file("src.png"));
    ASSERT_EQ(
        testing::run(
            std::string("convert ").append(png).append(" ").append(quoted(dir.file("a.gif")))),
        0);
    ASSERT_EQ(
        testing::run(
            std::string("convert ").append(png).append(" ").append(quoted(dir.file("a.pcx")))),
        0);
    ASSERT_EQ(testing::run(std::string("pngtopnm ")
                               .append(png)
                               .append(" | ppmtoilbm -fixplanes 8 > ")
                               .append(quoted(dir.file("a.iff")))
                               .append(" 2>/dev/null")),
              0);
    for (const char* name : {"a.gif", "a.pcx", "a.iff"}) {
        Record r;
        EXPECT_EQ(ReadImageFile(dir.file(name).c_str(), &r.img, nullptr), BMG_OK)
            << name << ": " << GetImageErrorText();
        EXPECT_EQ(r.img.width, kWidth) << name;
    }
    // No CEL writer exists anywhere near: a missing file shows the row leads to a reader.
    Record cel;
    EXPECT_EQ(ReadImageFile(dir.file("none.cel").c_str(), &cel.img, nullptr), BMG_ERR_OPEN_FILE);
}

// The reader rows are the format table's container extensions by their first three letters:
// each such extension reaches a reader, no other does, and no row reads what the table omits.
TEST_F(Dispatch, ReaderRowsAreTheFormatTablesContainerExtensions) {
    std::set<std::string> table_keys;
    for (const readers::FormatRow& row : readers::format_table()) {
        std::string key = std::string(row.extension).substr(0, 3);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (row.container) table_keys.insert(key);
        Record r;
        WsqFileOptions options{24, 0.75, 500, nullptr};
        const std::string missing = dir.file(std::string("none.") + row.extension);
        EXPECT_EQ(ReadImageFile(missing.c_str(), &r.img, &options) != BMG_ERR_EXTENSION,
                  row.container)
            << row.extension;
    }
    const std::vector<std::string> keys = reader_keys();
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), table_keys);
}

TEST_F(Dispatch, LoadBitmapGivesASectionWithTheFilePixels) {
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("l.bmp").c_str(), nullptr), BMG_OK);
    HBITMAP loaded = LoadBitmapFromImageFile(dir.file("l.bmp").c_str(), nullptr, 0);
    ASSERT_NE(loaded, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(loaded, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBmih.biBitCount, 24);
    EXPECT_EQ(std::memcmp(ds.dsBm.bmBits, bits, ds.dsBmih.biSizeImage), 0);
    DeleteObject(loaded);

    EXPECT_EQ(LoadBitmapFromImageFile(dir.file("missing.png").c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(LoadBitmapFromImageFile(dir.file("l.xyz").c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_EXTENSION);
}

TEST_F(Dispatch, LoadingWsqFillsTheOptions) {
    WsqFileOptions save{8, 0.75, 410, const_cast<char*>("lab 3")};
    ASSERT_EQ(WriteImageFile(bitmap, dir.file("f.wsq").c_str(), &save), BMG_OK);
    WsqFileOptions load{24, 0.75, 500, nullptr};
    HBITMAP loaded = LoadBitmapFromImageFile(dir.file("f.wsq").c_str(), &load, 0);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(load.ppi, 410);
    ASSERT_NE(load.comment, nullptr);
    EXPECT_STREQ(load.comment, "lab 3");
    std::free(load.comment);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(loaded, sizeof ds, &ds), static_cast<int>(sizeof ds));
    const auto* p =
        static_cast<const uint8_t*>(ds.dsBm.bmBits) + ds.dsBm.bmWidthBytes * 10 + 3 * 20;
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    DeleteObject(loaded);

    // A file that is no WSQ stream fails; its code is the reader's.
    testing::write_file(dir.file("bad.wsq"), std::vector<uint8_t>(64, 1));
    Record r;
    wsq::DiagCapture quiet;
    EXPECT_NE(ReadImageFile(dir.file("bad.wsq").c_str(), &r.img, &load), BMG_OK);
}

// Every reader row takes truncated and bit-flipped copies of its seed files
// (tests/data/mutation/: hand-made layouts for the formats no tool here writes, ImageMagick's
// files for the rest, our encoder's for WSQ) and either reads them or fails with its record
// released and its code recorded; a row without a seed fails.
struct MutationSeed {
    const char* file;
    uint32_t seed;
    int rounds;
};
constexpr MutationSeed kMutationSeeds[] = {
    {"colour-mapped.tga", 101, 300}, {"rle-32bit.tga", 102, 300},    {"verbatim.rgb", 201, 200},
    {"rle.rgb", 202, 300},           {"palette-8bit.pcx", 301, 300}, {"planes-4.pcx", 302, 300},
    {"ilbm-planar.iff", 401, 400},   {"interlaced.gif", 501, 300},   {"still.cel", 601, 200},
    {"frames.cel", 602, 400},        {"padded-frame.cel", 603, 300}, {"rgb.bmp", 701, 100},
    {"rgb-lzw.tif", 702, 100},       {"palette.png", 703, 100},      {"gray.jpg", 704, 100},
    {"rle.psd", 705, 100},           {"gray.wsq", 706, 100},
};

BMGError read_through_dispatch(const char* path, BMGImage* img) {
    WsqFileOptions options{24, 0.75, 500, nullptr};
    const BMGError code = ReadImageFile(path, img, &options);
    std::free(options.comment);
    return code;
}

class MutatedFiles : public ::testing::TestWithParam<MutationSeed> {
protected:
    TempDir dir;
};

TEST_P(MutatedFiles, NeverBreakTheirReader) {
    wsq::DiagCapture quiet;
    const std::string name = GetParam().file;
    const std::string extension = name.substr(name.rfind('.'));
    const std::vector<uint8_t> valid =
        testing::read_file(std::string(QUORVEL_TEST_DATA "/mutation/") + name);
    ASSERT_FALSE(valid.empty()) << name;
    codec_test::mutation_run(read_through_dispatch, dir.file("m" + extension), valid,
                             GetParam().seed, GetParam().rounds, extension != ".wsq");
}

INSTANTIATE_TEST_SUITE_P(Dispatch, MutatedFiles, ::testing::ValuesIn(kMutationSeeds),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST_F(Dispatch, EveryReaderRowHasMutationSeeds) {
    std::set<std::string> seeded;
    for (const MutationSeed& seed : kMutationSeeds) {
        std::string key = std::string(seed.file).substr(std::string(seed.file).rfind('.') + 1);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        seeded.insert(key);
    }
    const std::vector<std::string> keys = reader_keys();
    EXPECT_EQ(seeded, std::set<std::string>(keys.begin(), keys.end()));
}

}  // namespace
}  // namespace quorvel::raster
