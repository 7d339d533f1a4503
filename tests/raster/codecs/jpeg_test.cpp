// JPEG reader and writer: files ImageMagick and Pillow write (baseline, progressive, gray,
// subsampled, CMYK) against ImageMagick's decoding; our files read by both tools; quality;
// damaged and impossible input.
#include <gtest/gtest.h>

#include "support/record_picture.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using testing::Picture;
using testing::quoted;
using testing::TempDir;

// Smooth shading with a few soft edges: what JPEG is made for, so that small tolerances hold.
Picture smooth(int width, int height, int channels) {
    Picture p{width, height, channels, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v = c == 0 ? x * 200 / width + 20
                                     : (c == 1 ? y * 180 / height + 40
                                               : (x + y) * 100 / (width + height) + 90);
                p.samples.push_back(static_cast<uint8_t>(c == 3 ? 128 : v));
            }
    return p;
}

double mean_difference(const Picture& a, const Picture& b) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i) {
        if (i % 4 == 3) continue;
        sum += std::abs(int{a.samples[i]} - int{b.samples[i]});
        ++n;
    }
    return n ? sum / n : 999;
}

class Jpeg : public ::testing::Test {
protected:
    void SetUp() override {
        ClearImageRecord(&img);
        ASSERT_TRUE(testing::have_tool("convert"));
        ASSERT_EQ(testing::run("/usr/bin/python3 -c 'import PIL'"), 0);
        testing::write_pnm(dir.file("rgb.ppm"), smooth(45, 29, 3));
        testing::write_pnm(dir.file("gray.pgm"), smooth(45, 29, 1));
    }
    int shell(const std::string& command) {
        return testing::run("cd " + quoted(dir.path().string()) + " && " + command);
    }
    BMGError read(const std::string& path) {
        ClearImageRecord(&img);
        img.dibLayout = 1;
        return ReadJpegFile(path.c_str(), &img);
    }
    void TearDown() override { ReleaseImageRecord(&img); }
    TempDir dir;
    BMGImage img;
};

TEST_F(Jpeg, ReadsWhatImageMagickAndPillowWrite) {
    struct Case {
        const char* name;
        std::string command;
        int bits;
        int tolerance;
    };
    const std::string d = dir.path().string() + "/";
    const Case cases[] = {
        {"baseline 4:2:0", "convert rgb.ppm -quality 90 -sampling-factor 2x2 out.jpg", 24, 1},
        {"baseline 4:4:4", "convert rgb.ppm -quality 90 -sampling-factor 1x1 out.jpg", 24, 1},
        {"progressive", "convert rgb.ppm -interlace JPEG out.jpg", 24, 1},
        {"gray", "convert gray.pgm -quality 80 out.jpg", 8, 1},
        {"gray progressive", "convert gray.pgm -interlace JPEG out.jpg", 8, 1},
        {"CMYK (Adobe, inverted)", "convert rgb.ppm -colorspace CMYK out.jpg", 24, 3},
        {"Pillow optimized",
         "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + d + "rgb.ppm').save('" + d +
             "out.jpg', quality=75, optimize=True)\"",
         24, 1},
        {"Pillow gray",
         "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + d + "gray.pgm').save('" + d +
             "out.jpg')\"",
         8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(shell(c.command), 0) << c.command;
        ASSERT_EQ(read(dir.file("out.jpg")), BMG_OK);
        EXPECT_EQ(img.bitsPerPixel, c.bits);
        if (c.bits == 8) {
            ASSERT_EQ(img.paletteSize, 256);
            EXPECT_EQ(img.palette[200 * img.paletteEntryBytes], 200);
        }
        const Picture reference =
            testing::magick_decode(dir.file("out.jpg"), dir.file("ref"), "-colorspace sRGB");
        EXPECT_LE(testing::max_difference(testing::record_picture(img), reference), c.tolerance);
        ReleaseImageRecord(&img);
    }
}

TEST_F(Jpeg, ToolsReadWhatTheWriterWrites) {
    const Picture colour = smooth(45, 29, 4);
    struct Source {
        const char* name;
        BMGImage record;
        int channels;  // what the file must hold
    };
    std::vector<std::array<uint8_t, 3>> grays, colours;
    for (int i = 0; i < 16; ++i)
        grays.push_back({static_cast<uint8_t>(i * 10), static_cast<uint8_t>(i * 10),
                         static_cast<uint8_t>(i * 10)});
    for (int i = 0; i < 16; ++i)
        colours.push_back({static_cast<uint8_t>(i * 10), 90, static_cast<uint8_t>(200 - i * 5)});
    std::vector<uint8_t> indexes;
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 45; ++x) indexes.push_back(static_cast<uint8_t>(x / 3 % 16));
    std::vector<Source> sources = {
        {"24 bits", testing::record_from(colour, 24), 3},
        {"32 bits, alpha dropped", testing::record_from(colour, 32), 3},
        {"4-bit gray palette", testing::indexed_record(45, 29, 4, indexes, grays), 1},
        {"4-bit colour palette", testing::indexed_record(45, 29, 4, indexes, colours), 3},
    };
    for (Source& s : sources) {
        SCOPED_TRACE(s.name);
        const std::string path = dir.file("ours.jpg");
        ASSERT_EQ(WriteJpegFile(path.c_str(), s.record, 95), BMG_OK);
        EXPECT_EQ(testing::run_output("identify -format '%[channels]' " + quoted(path)),
                  s.channels == 1 ? "gray" : "srgb");
        Picture expected = testing::record_picture(s.record);
        for (size_t i = 3; i < expected.samples.size(); i += 4) expected.samples[i] = 255;
        const Picture magick = testing::magick_decode(path, dir.file("im"), "-colorspace sRGB");
        const Picture pillow = testing::pillow_decode(path, dir.file("pil"));
        EXPECT_LT(mean_difference(magick, expected), 2.0);
        EXPECT_LT(mean_difference(pillow, expected), 2.0);
        EXPECT_LE(testing::max_difference(magick, expected), s.channels == 1 ? 12 : 40);
        ASSERT_EQ(read(path), BMG_OK);
        EXPECT_LE(testing::max_difference(testing::record_picture(img), magick, false), 1);
        ReleaseImageRecord(&img);
        ReleaseImageRecord(&s.record);
    }
}

TEST_F(Jpeg, QualityReachesTheQuantizationTables) {
    BMGImage record = testing::record_from(testing::pattern(64, 48, 4, 3), 24);
    size_t previous = 0;
    for (int quality : {10, 50, 90, 100}) {
        const std::string path = dir.file("q.jpg");
        ASSERT_EQ(WriteJpegFile(path.c_str(), record, quality), BMG_OK);
        EXPECT_EQ(testing::run_output("identify -format '%Q' " + quoted(path)),
                  std::to_string(quality));
        const size_t size = testing::read_file(path).size();
        EXPECT_GT(size, previous) << quality;
        previous = size;
    }
    // Out of range qualities are brought into 0..100 rather than refused.
    ASSERT_EQ(WriteJpegFile(dir.file("q.jpg").c_str(), record, 250), BMG_OK);
    EXPECT_EQ(testing::run_output("identify -format '%Q' " + quoted(dir.file("q.jpg"))), "100");
    ReleaseImageRecord(&record);
}

TEST_F(Jpeg, BadInputGivesItsCodeAndAnEmptyRecord) {
    EXPECT_EQ(ReadJpegFile(dir.file("x.jpg").c_str(), nullptr), BMG_ERR_IMAGE_POINTER);
    EXPECT_EQ(read(dir.file("missing.jpg")), BMG_ERR_OPEN_FILE);
    testing::write_file(dir.file("text.jpg"), {'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_EQ(read(dir.file("text.jpg")), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_FORMAT_OPTION);
    testing::write_file(dir.file("empty.jpg"), {});
    EXPECT_NE(read(dir.file("empty.jpg")), BMG_OK);

    ASSERT_EQ(shell("convert rgb.ppm -quality 90 good.jpg"), 0);
    const std::vector<uint8_t> good = testing::read_file(dir.file("good.jpg"));
    // Cut inside the headers: corrupt; cut inside the picture data: a short read, not a picture
    // with gray rows at the bottom.
    testing::write_file(dir.file("cut.jpg"),
                        std::vector<uint8_t>(good.begin(), good.begin() + 100));
    EXPECT_NE(read(dir.file("cut.jpg")), BMG_OK);
    EXPECT_EQ(img.pixels, nullptr);
    testing::write_file(dir.file("cut.jpg"),
                        std::vector<uint8_t>(good.begin(), good.end() - good.size() / 3));
    EXPECT_EQ(read(dir.file("cut.jpg")), BMG_ERR_READ_FILE);
    EXPECT_EQ(img.pixels, nullptr);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_READ_FILE);

    // A frame header claiming 0 columns.
    std::vector<uint8_t> zero = good;
    for (size_t i = 0; i + 8 < zero.size(); ++i)
        if (zero[i] == 0xFF && zero[i + 1] == 0xC0) {
            zero[i + 7] = 0, zero[i + 8] = 0;
            break;
        }
    testing::write_file(dir.file("zero.jpg"), zero);
    EXPECT_EQ(read(dir.file("zero.jpg")), BMG_ERR_CORRUPT_FORMAT);
}

TEST_F(Jpeg, DamagedCopiesNeverGiveAHalfRecord) {
    ASSERT_EQ(shell("convert rgb.ppm good.jpg && convert gray.pgm -interlace JPEG good2.jpg"), 0);
    int failures = 0;
    for (const char* name : {"good.jpg", "good2.jpg"}) {
        for (const auto& bytes :
             testing::damaged_copies(testing::read_file(dir.file(name)), 250, 3)) {
            testing::write_file(dir.file("d.jpg"), bytes);
            const BMGError code = read(dir.file("d.jpg"));
            if (code != BMG_OK) {
                ++failures;
                EXPECT_EQ(img.pixels, nullptr);
                EXPECT_EQ(GetLastImageError(), code);
            }
            ReleaseImageRecord(&img);
        }
    }
    EXPECT_GT(failures, 0);
}

TEST_F(Jpeg, WriterRefusesRecordsItCannotEncode) {
    BMGImage record = testing::record_from(testing::pattern(8, 8, 4, 1), 24);
    BMGImage bad = record;
    bad.bitsPerPixel = 2;
    EXPECT_EQ(WriteJpegFile(dir.file("a.jpg").c_str(), bad, 90), BMG_ERR_BITS_PER_PIXEL);
    bad = record;
    bad.width = 70000;  // past JPEG's 65500
    EXPECT_EQ(WriteJpegFile(dir.file("a.jpg").c_str(), bad, 90), BMG_ERR_IMAGE_SIZE);
    bad = record;
    bad.rowBytes = 3;
    EXPECT_EQ(WriteJpegFile(dir.file("a.jpg").c_str(), bad, 90), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(WriteJpegFile(dir.file("no/dir/a.jpg").c_str(), record, 90), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_OPEN_FILE);
    ReleaseImageRecord(&record);
}

}  // namespace
}  // namespace quorvel::raster
