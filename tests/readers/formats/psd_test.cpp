// Photoshop files in every colour mode ImageMagick writes, raw and PackBits, 8 and 16 bits,
// compared with ImageMagick's decoding of their composite image; bitmap mode and damaged
// files built by hand; the container's PSD row reads the same pixels.
#include "api/file_state.h"
#include "raster/bmg_image.h"
#include "raster/dispatch.h"
#include "readers/reader_classes.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {

using codec_test::Sources;

struct PsdCase {
    std::string label;
    std::string options;  // convert options before the output name
    int source;           // 0 rgb, 1 gray, 2 rgba, 3 few colours
    bool alpha = false;
    // ImageMagick 6.9 cannot read back its indexed files and reads its alpha composites with
    // other colours: those are compared with the lossless source picture instead.
    bool against_source = false;
};

std::string source_of(const Sources& src, int which) {
    const std::string* all[] = {&src.rgb, &src.gray, &src.rgba, &src.few};
    return *all[which];
}

Picture magick_composite(const std::string& file, const std::string& out, bool alpha) {
    EXPECT_EQ(testing::run("convert " + sh_quote(file + "[0]") + " -depth 8 " +
                           (alpha ? "pam:" : "ppm:") + sh_quote(out) + " 2>/dev/null"),
              0);
    return testing::read_pnm(out);
}

TEST(PsdReader, FilesFromImageMagickInEveryMode) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::vector<PsdCase> cases = {
        {"rgb rle", "-compress RLE", 0},
        {"rgb raw", "-compress None", 0},
        {"rgb 16-bit rle", "-depth 16 -compress RLE", 0},
        {"rgb 16-bit raw", "-depth 16 -compress None", 0},
        {"gray rle", "-colorspace Gray -compress RLE", 1},
        {"gray 16-bit raw", "-colorspace Gray -depth 16 -compress None", 1},
        {"indexed rle", "-type Palette -compress RLE", 3, false, true},
        {"indexed raw", "-type Palette -compress None", 3, false, true},
        {"rgba rle", "-compress RLE", 2, true, true},
        {"rgba 16-bit raw", "-depth 16 -compress None", 2, true, true},
    };
    for (const PsdCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string file = dir.file("tool.psd");
        ASSERT_EQ(testing::run("convert " + sh_quote(source_of(src, c.source)) + " " + c.options +
                               " psd:" + sh_quote(file)),
                  0);
        const Picture expected = c.against_source
                                     ? testing::read_pnm(source_of(src, c.source))
                                     : magick_composite(file, dir.file("expected.pam"), c.alpha);
        Picture got;
        ASSERT_NO_THROW(
            got = load_picture(readers::psd_graphic_class(), testing::read_file(file), c.alpha));
        EXPECT_TRUE(codec_test::same_pixels(got, expected));
    }
}

// Header, empty colour-mode, resource and layer sections, then the compression word.
Bytes psd_header(unsigned channels, unsigned width, unsigned height, unsigned depth,
                 unsigned mode) {
    Bytes b;
    b.text("8BPS").be16(1).fill(6, 0).be16(channels).be32(height).be32(width).be16(depth).be16(
        mode);
    return b;
}

TEST(PsdReader, CmykAndLabThroughTheColourManager) {
    testing::TempDir dir;
    const Sources src(dir);
    for (const char* compression : {"RLE", "None"}) {
        SCOPED_TRACE(compression);
        const std::string file = dir.file("cmyk.psd"), expected_file = dir.file("cmyk.ppm");
        ASSERT_EQ(testing::run("convert " + sh_quote(src.rgb) + " -colorspace CMYK -compress " +
                               compression + " psd:" + sh_quote(file)),
                  0);
        ASSERT_EQ(testing::run("convert " + sh_quote(file + "[0]") +
                               " -colorspace sRGB -depth 8 ppm:" + sh_quote(expected_file)),
                  0);
        const Picture expected = testing::read_pnm(expected_file);
        const Picture got = load_picture(readers::psd_graphic_class(), testing::read_file(file));
        ASSERT_EQ(got.samples.size(), expected.samples.size());
        // The two CMYK to RGB conversions round differently by at most one level.
        for (size_t i = 0; i < got.samples.size(); ++i)
            ASSERT_NEAR(got.samples[i], expected.samples[i], 1) << i;
    }
    // L*a*b*: full lightness with neutral a* and b* is white, none is black.
    Bytes lab = psd_header(3, 2, 1, 8, 9);
    lab.be32(0).be32(0).be32(0).be16(0).u8(255).u8(0).u8(128).u8(128).u8(128).u8(128);
    const Picture p = load_picture(readers::psd_graphic_class(), lab.b);
    for (int c = 0; c < 3; ++c) {
        EXPECT_GE(p.at(0, 0, c), 250);
        EXPECT_LE(p.at(1, 0, c), 5);
    }
}

TEST(PsdReader, BitmapModeOneIsBlack) {
    Bytes b = psd_header(1, 10, 2, 1, 0);
    b.be32(0).be32(0).be32(0).be16(0);
    b.u8(0xA0).u8(0x40).u8(0xFF).u8(0xC0);  // rows of 10 pixels, 2 bytes each
    const Picture p = load_picture(readers::psd_graphic_class(), b.b);
    ASSERT_EQ(p.width, 10);
    const int expected_row0[10] = {0, 255, 0, 255, 255, 255, 255, 255, 255, 0};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(p.at(x, 0, 0), expected_row0[x]) << x;
    for (int x = 0; x < 10; ++x) EXPECT_EQ(p.at(x, 1, 1), 0) << x;
}

TEST(PsdReader, DamagedFilesFailWithTheFamilysMessages) {
    struct Case {
        const char* label;
        Bytes bytes;
        const char* message;
    };
    Bytes zip = psd_header(3, 4, 4, 8, 3);
    zip.be32(0).be32(0).be32(0).be16(2);
    Bytes short_table = psd_header(3, 4, 400, 8, 3);
    short_table.be32(0).be32(0).be32(0).be16(1).be16(2).be16(2);
    Bytes long_count = psd_header(1, 4, 1, 8, 1);
    long_count.be32(0).be32(0).be32(0).be16(1).be16(60000).u8(3).fill(4, 9);
    Bytes huge_section = psd_header(1, 4, 1, 8, 1);
    huge_section.be32(0xFFFFFFF0u);
    Bytes no_palette = psd_header(1, 4, 1, 8, 2);
    no_palette.be32(3).fill(3, 0).be32(0).be32(0).be16(0).fill(4, 0);
    // 8 billion table entries declared by a 40-byte file (found by fuzzing: it was sized first).
    Bytes huge_table = psd_header(63, 12, 0x0800000A, 16, 8);
    huge_table.be32(0).be32(0).be32(0).be16(1).fill(8, 0x80);
    const std::vector<Case> cases = {
        {"huge table", huge_table, "Stream read error in PSD or PDD file."},
        {"zip", zip,
         "Cannot load image. The compression scheme is not supported for PSD or PDD files."},
        {"short table", short_table, "Stream read error in PSD or PDD file."},
        {"row count past the end", long_count, "Stream read error in PSD or PDD file."},
        {"section past the end", huge_section, "Stream read error in PSD or PDD file."},
        {"indexed without palette", no_palette,
         "Cannot load image. Palette in PSD or PDD file is invalid."},
        {"version 2", psd_header(3, 4, 4, 8, 3),
         "Cannot load image. Invalid or unexpected PSD or PDD image format."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> bytes = c.bytes.b;
        if (std::string(c.label) == "version 2") bytes[5] = 2;
        EXPECT_EQ(load_error(readers::psd_graphic_class(), bytes), c.message);
    }
}

TEST(PsdReader, ContainerRowReadsThroughTheSameReader) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string file = dir.file("image.psd");
    ASSERT_EQ(testing::run("convert " + sh_quote(src.rgb) + " -compress RLE psd:" + sh_quote(file)),
              0);
    const Picture expected = load_picture(readers::psd_graphic_class(), testing::read_file(file));
    api::start_library();  // hands the container its PSD decoder, as a library load does
    testing::ImageRecord rec(1);
    ASSERT_EQ(raster::ReadImageFile(file.c_str(), &rec.img, nullptr), raster::BMG_OK);
    EXPECT_TRUE(codec_test::same_pixels(codec_test::to_picture(rec.img), expected));
    ASSERT_EQ(raster::ReadImageFile(dir.file("absent.psd").c_str(), &rec.img, nullptr),
              raster::BMG_ERR_OPEN_FILE);
}

}  // namespace
}  // namespace quorvel::readers_test
