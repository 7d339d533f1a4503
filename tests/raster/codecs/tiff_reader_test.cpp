// TIFF reader: files that ImageMagick, libtiff's tools and Pillow write, in every layout the
// reader distinguishes, compared with what ImageMagick decodes; orientation against
// ImageMagick's -auto-orient; and what damaged or impossible files give back.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <bit>
#include <vector>

#include "support/record_picture.h"
#include "raster/codecs/codecs.h"
#include "support/recording_presenter.h"

namespace quorvel::raster {
namespace {

using testing::Picture;
using testing::quoted;
using testing::TempDir;

constexpr int kWidth = 37;
constexpr int kHeight = 23;

struct Case {
    std::string name;
    std::string command;  // run in the scratch directory; writes $OUT
    int bits;             // bitsPerPixel the record must have
    int tolerance = 0;    // lossy schemes
    // ImageMagick divides 16-bit colour-map values by 257, Pillow and libtiff keep the high
    // byte: a map of v * 256 values reads 1 lower in ImageMagick. Pillow judges those files.
    bool pillow_reference = false;
};

class TiffFromTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"convert", "tiffcp", "tiffset", "tiffinfo"})
            ASSERT_TRUE(testing::have_tool(tool)) << tool;
        testing::write_pnm(dir.file("rgb.ppm"), testing::pattern(kWidth, kHeight, 3, 11));
        testing::write_pnm(dir.file("rgba.pam"), testing::pattern(kWidth, kHeight, 4, 12));
        testing::write_pnm(dir.file("gray.pgm"), testing::pattern(kWidth, kHeight, 1, 13));
        Picture few{kWidth, kHeight, 3, {}};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int k = (x / 2 + y) % 16;
                few.samples.insert(few.samples.end(),
                                   {static_cast<uint8_t>(k * 16), static_cast<uint8_t>(255 - k * 9),
                                    static_cast<uint8_t>(k % 3 * 100)});
            }
        testing::write_pnm(dir.file("few16.ppm"), few);
        ASSERT_EQ(shell("convert rgb.ppm -compress none base.tif && convert rgba.pam rgba.png"), 0);
    }

    int shell(const std::string& command) {
        return testing::run("cd " + quoted(dir.path().string()) + " && " + command);
    }

    BMGImage read(const std::string& path, BMGError expected = BMG_OK) {
        BMGImage img;
        ClearImageRecord(&img);
        img.dibLayout = 1;
        EXPECT_EQ(ReadTiffFile(path.c_str(), &img, nullptr), expected) << path;
        return img;
    }

    void check(const Case& c) {
        SCOPED_TRACE(c.name);
        const std::string out = dir.file("case.tif");
        std::remove(out.c_str());
        std::string command = c.command;
        for (size_t at; (at = command.find("$OUT")) != std::string::npos;)
            command.replace(at, 4, quoted(out));
        ASSERT_EQ(shell(command), 0) << command;
        BMGImage img = read(out);
        EXPECT_EQ(img.bitsPerPixel, c.bits)
            << testing::run_output("tiffinfo " + quoted(out) + " 2>&1");
        if (img.pixels != nullptr) {
            const Picture reference =
                c.pillow_reference
                    ? testing::pillow_decode(out, dir.file("ref"))
                    : testing::magick_decode(out, dir.file("ref"), "-colorspace sRGB");
            EXPECT_LE(testing::max_difference(testing::record_picture(img), reference,
                                              img.bitsPerPixel == 32),
                      c.tolerance);
        }
        ReleaseImageRecord(&img);
    }

    TempDir dir;
    testing::RecordingPresenter presenter;
};

TEST_F(TiffFromTools, CompressionSchemesStripsAndTiles) {
    check({"none", "cp base.tif $OUT", 24});
    check({"LZW", "tiffcp -c lzw base.tif $OUT", 24});
    check({"Deflate with predictor", "tiffcp -c zip:2 base.tif $OUT", 24});
    check({"PackBits", "tiffcp -c packbits base.tif $OUT", 24});
    check({"three rows a strip", "tiffcp -r 3 base.tif $OUT", 24});
    check({"tiles", "tiffcp -t -w 16 -l 16 -c lzw base.tif $OUT", 24});
    check({"planes apart", "tiffcp -p separate base.tif $OUT", 24});
    check({"planes apart in tiles", "tiffcp -p separate -t -w 16 -l 16 base.tif $OUT", 24});
    check({"JPEG YCbCr", "tiffcp -c jpeg:r base.tif $OUT", 24, 2});
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(TiffFromTools, GrayAndPaletteKeepTheirIndexes) {
    check({"gray 8", "convert gray.pgm -type Grayscale -depth 8 $OUT", 8});
    check({"gray 16", "convert gray.pgm -type Grayscale -depth 16 $OUT", 8});
    check({"gray 2", "convert gray.pgm -type Grayscale -depth 2 $OUT", 4});
    check({"gray 4 tiled",
           "convert gray.pgm -type Grayscale -depth 4 -define tiff:tile-geometry=16x16 $OUT", 4});
    check({"min-is-white",
           "convert gray.pgm -type Grayscale -depth 8 -define tiff:photometric=min-is-white $OUT",
           8});
    check({"bilevel Group 4", "convert gray.pgm -threshold 50% -type Bilevel -compress Group4 $OUT",
           1});
    check(
        {"bilevel Group 3", "convert gray.pgm -threshold 50% -type Bilevel -compress Fax $OUT", 1});
    check({"palette 4", "convert few16.ppm -type Palette -depth 4 $OUT", 4});
    check({"palette 8", "convert rgb.ppm -colors 200 -type Palette $OUT", 8, 0, true});
    check({"palette 8 LZW tiled",
           "convert rgb.ppm -colors 200 -type Palette pal8.tif && tiffcp -c lzw -t -w 16 -l 16 "
           "pal8.tif $OUT",
           8, 0, true});
}

TEST_F(TiffFromTools, TruecolourDepthsAndAlpha) {
    check({"rgb 16", "convert rgb.ppm -depth 16 $OUT", 24});
    check({"rgba", "convert rgba.pam -define tiff:alpha=unassociated $OUT", 32});
    check({"rgba associated", "convert rgba.pam -define tiff:alpha=associated $OUT", 32, 1});
    check({"rgba 16", "convert rgba.pam -depth 16 -define tiff:alpha=unassociated $OUT", 32});
    check({"gray with alpha",
           "convert gray.pgm rgba.pam -compose CopyOpacity -composite -type GrayscaleAlpha "
           "-define tiff:alpha=unassociated $OUT",
           32, 1});
}

TEST_F(TiffFromTools, PillowModes) {
    ASSERT_EQ(testing::run("/usr/bin/python3 -c 'import PIL'"), 0);
    const std::string d = dir.path().string() + "/";
    const auto pil = [&](const std::string& program) {
        return "/usr/bin/python3 -c \"from PIL import Image; " + program + "\"";
    };
    check({"P",
           pil("Image.open('" + d + "few16.ppm').convert('P', palette=Image.ADAPTIVE).save('" + d +
               "case.tif')"),
           8, 0, true});
    check({"1", pil("Image.open('" + d + "gray.pgm').convert('1').save('" + d + "case.tif')"), 1});
    check({"L deflate",
           pil("Image.open('" + d + "gray.pgm').save('" + d +
               "case.tif', compression='tiff_adobe_deflate')"),
           8});
    check({"RGBA LZW",
           pil("Image.open('" + d + "rgba.png').save('" + d + "case.tif', compression='tiff_lzw')"),
           32});
    check({"CMYK", pil("Image.open('" + d + "rgb.ppm').convert('CMYK').save('" + d + "case.tif')"),
           24, 1});
}

// Floating-point gray: 0..1 and 0..255 kept as they are, any other range stretched from its
// smallest to its largest sample; half, single and double precision alike.
TEST_F(TiffFromTools, FloatingPointSamplesArePlacedInTheirRange) {
    // ImageMagick 6 writes the file whole but fails on the predictor tag it cannot set.
    const std::string im = "convert gray.pgm -define quantum:format=floating-point -depth ";
    check({"half", im + "16 $OUT 2>/dev/null; test -s $OUT", 8, 1});
    check({"double", im + "64 $OUT 2>/dev/null; test -s $OUT", 8, 1});
    ASSERT_EQ(testing::run("/usr/bin/python3 -c 'import PIL'"), 0);
    const struct {
        const char* values;  // four samples, a 2 x 2 picture
        std::vector<int> expected;
    } rows[] = {
        {"0.0, 0.5, 1.0, 0.25", {0, 128, 255, 64}},
        {"0.0, 100.0, 255.0, 2.0", {0, 100, 255, 2}},
        {"-1.0, 1.0, 3.0, float('nan')", {0, 128, 255, 0}},
    };
    for (const auto& row : rows) {
        const std::string out = dir.file("float.tif");
        ASSERT_EQ(
            testing::run("/usr/bin/python3 -c \"from PIL import Image; i = Image.new('F', (2, "
                         "2)); i.putdata([" +
                         std::string(row.values) + "]); i.save('" + out + "')\""),
            0);
        BMGImage img = read(out);
        const Picture got = testing::record_picture(img);
        ReleaseImageRecord(&img);
        ASSERT_EQ(got.width, 2) << row.values;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(got.at(i % 2, i / 2, 0), row.expected[i]) << row.values;
    }
}

// A 2 x 2 floating-point gray TIFF written through libtiff: samples of `bits` bits given by
// their bit patterns, and SMinSampleValue and SMaxSampleValue when low < high is given.
void write_float_tiff(const std::string& path, uint16_t bits, const std::vector<uint64_t>& raw,
                      double low = 0, double high = 0) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
    if (low != high) {
        TIFFSetField(tif, TIFFTAG_SMINSAMPLEVALUE, low);
        TIFFSetField(tif, TIFFTAG_SMAXSAMPLEVALUE, high);
    }
    std::vector<uint8_t> strip;
    for (uint64_t v : raw)
        for (int b = 0; b < bits / 8; ++b) strip.push_back(static_cast<uint8_t>(v >> (8 * b)));
    TIFFWriteEncodedStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    TIFFClose(tif);
}

// Half-precision specials (infinity, not-a-number, subnormals, signs) and the range the file
// states, which holds unless it is empty.
TEST_F(TiffFromTools, FloatSpecialsAndTheStatedSampleRange) {
    const auto f32 = [](float v) { return uint64_t{std::bit_cast<uint32_t>(v)}; };
    const struct {
        const char* name;
        uint16_t bits;
        std::vector<uint64_t> raw;
        double low, high;
        std::vector<int> expected;
    } rows[] = {
        {"half 0, 1, +inf, nan", 16, {0x0000, 0x3C00, 0x7C00, 0x7E00}, 0, 0, {0, 255, 255, 0}},
        {"half -1, 0, 1, subnormal",
         16,
         {0xBC00, 0x0000, 0x3C00, 0x0001},
         0,
         0,
         {0, 128, 255, 128}},
        {"stated 10 to 50", 32, {f32(10), f32(20), f32(30), f32(40)}, 10, 50, {0, 64, 128, 191}},
        {"empty stated range", 32, {f32(10), f32(20), f32(30), f32(40)}, 5, 5, {10, 20, 30, 40}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = dir.file("special.tif");
        write_float_tiff(out, row.bits, row.raw, row.low, row.high);
        BMGImage img = read(out);
        const Picture got = testing::record_picture(img);
        ReleaseImageRecord(&img);
        ASSERT_EQ(got.width, 2);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(got.at(i % 2, i / 2, 0), row.expected[i]) << i;
    }
}

// Each of the eight orientations, for each path through the reader, against -auto-orient.
TEST_F(TiffFromTools, EveryOrientationMatchesAutoOrient) {
    ASSERT_EQ(shell("convert few16.ppm -type Palette -depth 8 pal.tif && tiffcp -p separate "
                    "base.tif sep.tif && "
                    "convert gray.pgm -type Grayscale -depth 4 g4.tif"),
              0);
    for (const char* base : {"base.tif", "pal.tif", "sep.tif", "g4.tif"}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(base) + " orientation " + std::to_string(orientation));
            ASSERT_EQ(
                shell(std::string("cp ") + base + " o.tif && tiffset -s 274 " +
                      std::to_string(orientation) + " o.tif && convert o.tif -auto-orient o.png"),
                0);
            BMGImage img = read(dir.file("o.tif"));
            if (img.pixels == nullptr) continue;
            const bool swapped = orientation >= 5;
            EXPECT_EQ(img.width, static_cast<uint32_t>(swapped ? kHeight : kWidth));
            EXPECT_EQ(
                testing::max_difference(testing::record_picture(img),
                                        testing::magick_decode(dir.file("o.png"), dir.file("r"))),
                0);
            ReleaseImageRecord(&img);
        }
    }
}

TEST_F(TiffFromTools, OwnWriterRoundTrips) {
    std::vector<std::array<uint8_t, 3>> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back({static_cast<uint8_t>(i * 15), static_cast<uint8_t>(i * 3), 77});
    std::vector<uint8_t> indexes;
    for (int i = 0; i < 11 * 5; ++i) indexes.push_back(static_cast<uint8_t>(i * 7 % 16));
    BMGImage sources[] = {
        testing::record_from(testing::pattern(11, 5, 4, 1), 24),
        testing::record_from(testing::pattern(11, 5, 4, 2), 32),
        testing::indexed_record(11, 5, 4, indexes, palette),
        testing::indexed_record(11, 5, 1, std::vector<uint8_t>(indexes.size(), 1),
                                {{255, 255, 255}, {0, 0, 0}}),
    };
    for (uint8_t orientation : {uint8_t{0}, uint8_t{1}}) {
        for (BMGImage& source : sources) {
            const TiffFileOptions options{13, 0, orientation, 0};
            ASSERT_EQ(WriteTiffFile(dir.file("rt.tif").c_str(), source, &options), BMG_OK);
            BMGImage back = read(dir.file("rt.tif"));
            EXPECT_EQ(back.bitsPerPixel, source.bitsPerPixel);
            EXPECT_EQ(testing::max_difference(testing::record_picture(back),
                                              testing::record_picture(source)),
                      0)
                << int{source.bitsPerPixel} << " bits, orientation option " << int{orientation};
            ReleaseImageRecord(&back);
        }
    }
    for (BMGImage& source : sources) ReleaseImageRecord(&source);
}

// ---------------------------------------------------------------------------------------------

// A little-endian TIFF of one uncompressed 8-bit gray strip, with the header values given.
std::vector<uint8_t> tiny_tiff(uint32_t width, uint32_t height, uint32_t strip_bytes) {
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&](unsigned v) { out.push_back(v & 255), out.push_back(v >> 8 & 255); };
    const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t data_offset = 8 + 2 + 9 * 12 + 4;
    const std::pair<int, uint32_t> entries[] = {{256, width}, {257, height}, {258, 8},
                                                {259, 1},     {262, 1},      {273, data_offset},
                                                {277, 1},     {278, height}, {279, strip_bytes}};
    u16(9);
    for (const auto& [tag, value] : entries) {
        u16(tag);
        u16(4);  // LONG
        u32(1);
        u32(value);
    }
    u32(0);
    for (uint32_t i = 0; i < 64; ++i) out.push_back(static_cast<uint8_t>(i * 4));
    return out;
}

class TiffReadBad : public ::testing::Test {
protected:
    void SetUp() override { ClearImageRecord(&img); }
    BMGError read(const std::vector<uint8_t>& bytes) {
        testing::write_file(dir.file("bad.tif"), bytes);
        ClearImageRecord(&img);
        img.dibLayout = 1;
        const BMGError code = ReadTiffFile(dir.file("bad.tif").c_str(), &img, nullptr);
        EXPECT_EQ(GetLastImageError(), code);
        if (code != BMG_OK) {
            EXPECT_EQ(img.pixels, nullptr);
        }
        return code;
    }
    void TearDown() override { ReleaseImageRecord(&img); }
    TempDir dir;
    BMGImage img;
    testing::RecordingPresenter presenter;
};

TEST_F(TiffReadBad, TheTinyFileIsReadable) {
    ASSERT_EQ(read(tiny_tiff(8, 8, 64)), BMG_OK);
    EXPECT_EQ(img.bitsPerPixel, 8);
    EXPECT_EQ(img.pixels[7 * img.rowBytes + 1], 4);  // top row, second pixel
}

TEST_F(TiffReadBad, WrongFilesAndMissingOnes) {
    EXPECT_EQ(ReadTiffFile(nullptr, nullptr, nullptr), BMG_ERR_IMAGE_POINTER);
    ClearImageRecord(&img);
    EXPECT_EQ(ReadTiffFile(dir.file("none.tif").c_str(), &img, nullptr), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(read({'G', 'I', 'F', '8', '9', 'a'}), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(read({'I', 'I'}), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(read({'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}),
              BMG_ERR_CORRUPT_FORMAT);  // directory past the end
    EXPECT_FALSE(presenter.messages.empty());
}

TEST_F(TiffReadBad, SizesThatCannotBeHeldAreRefusedBeforeAnyAllocation) {
    EXPECT_EQ(read(tiny_tiff(100000, 100000, 64)), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(read(tiny_tiff(0xFFFFFFFF, 2, 64)), BMG_ERR_IMAGE_SIZE);
}

TEST_F(TiffReadBad, CutFilesFailWithTheRecordReleased) {
    std::vector<uint8_t> bytes = tiny_tiff(8, 8, 64);
    bytes.resize(bytes.size() - 40);  // the strip is cut short
    EXPECT_NE(read(bytes), BMG_OK);
    const std::vector<uint8_t> whole = tiny_tiff(8, 8, 64);
    for (size_t keep : {size_t{10}, size_t{30}, size_t{100}})
        EXPECT_NE(read(std::vector<uint8_t>(whole.begin(), whole.begin() + keep)), BMG_OK) << keep;
}

TEST_F(TiffReadBad, DamagedCopiesNeverGiveAHalfRecord) {
    std::vector<std::vector<uint8_t>> goods = {tiny_tiff(8, 8, 64)};
    std::vector<std::array<uint8_t, 3>> palette(16, {10, 20, 30});
    BMGImage sources[] = {
        testing::record_from(testing::pattern(19, 11, 4, 5), 32),
        testing::indexed_record(19, 11, 4, std::vector<uint8_t>(19 * 11, 5), palette),
    };
    for (BMGImage& source : sources) {
        const TiffFileOptions deflate{13, 0, 0, 0};
        ASSERT_EQ(WriteTiffFile(dir.file("good.tif").c_str(), source, &deflate), BMG_OK);
        goods.push_back(testing::read_file(dir.file("good.tif")));
        ReleaseImageRecord(&source);
    }
    ASSERT_EQ(testing::run("tiffcp -t -w 16 -l 16 -c lzw " + quoted(dir.file("good.tif")) + " " +
                           quoted(dir.file("tiled.tif"))),
              0);
    goods.push_back(testing::read_file(dir.file("tiled.tif")));
    for (const auto& good : goods) {
        for (const auto& bytes : testing::damaged_copies(good, 250, 11)) {
            if (read(bytes) == BMG_OK) {
                ASSERT_NE(img.pixels, nullptr);
                testing::record_picture(img);  // every index inside the palette
            }
            ReleaseImageRecord(&img);
        }
    }
}

}  // namespace
}  // namespace quorvel::raster
