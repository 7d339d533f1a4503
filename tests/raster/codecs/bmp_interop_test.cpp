// BMP files written by netpbm, ImageMagick and Pillow are read with the pixels those tools
// decode, and the tools decode our files to the pixels we wrote. The tools are part of the
// test environment: a missing tool fails the test.
#include <gtest/gtest.h>

#include <string>

#include "image_compare.h"
#include "raster/codecs/codecs.h"
#include "support/test_support.h"

namespace quorvel::raster {
namespace {

using testing::Picture;
using testing::TempDir;

const char kPython[] = "/usr/bin/python3";

// A 37 x 23 picture (odd width, so rows carry padding) drawn from `colours` distinct colours
// (0 for free colour).
Picture source_picture(int colours) {
    Picture p{37, 23, 3, {}};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            if (colours == 0) {
                p.samples.insert(p.samples.end(),
                                 {uint8_t(x * 7), uint8_t(y * 11), uint8_t((x * y) & 255)});
                continue;
            }
            const int i = (x * 3 + y * 5 + (x * y) % 7) % colours;
            if (colours == 2) {
                const uint8_t level = i ? 255 : 0;
                p.samples.insert(p.samples.end(), {level, level, level});
            } else {
                p.samples.insert(p.samples.end(),
                                 {uint8_t(i * 37 + 5), uint8_t(i * 91 + 3), uint8_t(i * 13)});
            }
        }
    return p;
}

// Decodes an image file with one of the tools to RGB samples.
Picture decode_with(const std::string& tool, const std::string& file, const TempDir& dir) {
    const std::string out = dir.file("decoded-" + tool + ".ppm");
    int status = -1;
    if (tool == "netpbm")
        status = testing::run("bmptopnm " + testing::quoted(file) + " 2>/dev/null | pamtopnm > " +
                              testing::quoted(out));
    else if (tool == "magick")
        // ImageMagick writes its guess of the depth as maxval unless told 8 bits.
        status = testing::run("convert " + testing::quoted(file) +
                              " -depth 8 ppm:" + testing::quoted(out));
    else
        status = testing::run(
            std::string(kPython) +
            " -c \"import sys; from PIL import Image; "
            "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2], format='PPM')\" " +
            testing::quoted(file) + " " + testing::quoted(out));
    EXPECT_EQ(status, 0) << tool << " could not decode " << file;
    if (status != 0) return {};
    return testing::normalised(testing::read_pnm(out));
}

struct ToolFile {
    const char* name;
    int colours;          // colours of the source picture
    const char* command;  // SRC and OUT are replaced
    const char* decoder;  // the tool that reads it back for reference
    int bits;             // depth the file must have, so each case covers what it says
};

const ToolFile kToolFiles[] = {
    {"ppmtobmp-1", 2, "ppmtobmp -bpp 1 SRC > OUT 2>/dev/null", "netpbm", 1},
    {"ppmtobmp-4", 12, "ppmtobmp -bpp 4 SRC > OUT 2>/dev/null", "netpbm", 4},
    {"ppmtobmp-8", 200, "ppmtobmp -bpp 8 SRC > OUT 2>/dev/null", "netpbm", 8},
    {"ppmtobmp-24", 0, "ppmtobmp -bpp 24 SRC > OUT 2>/dev/null", "netpbm", 24},
    {"magick-bmp3-24", 0, "convert SRC BMP3:OUT", "magick", 24},
    {"magick-v5-24", 0, "convert SRC BMP:OUT", "magick", 24},
    {"magick-palette-1", 2, "convert SRC -type Palette BMP3:OUT", "magick", 1},
    {"magick-palette-8", 200, "convert SRC -type Palette -compress None BMP3:OUT", "magick", 8},
    {"magick-v5-32", 0, "convert SRC -alpha on -channel A -evaluate set 50% BMP:OUT", "magick", 32},
    {"pillow-1", 2,
     "/usr/bin/python3 -c \"import sys; from PIL import Image; "
     "Image.open(sys.argv[1]).convert('1').save(sys.argv[2])\" SRC OUT",
     "pillow", 1},
    {"pillow-L", 0,
     "/usr/bin/python3 -c \"import sys; from PIL import Image; "
     "Image.open(sys.argv[1]).convert('L').save(sys.argv[2])\" SRC OUT",
     "pillow", 8},
    {"pillow-P", 200,
     "/usr/bin/python3 -c \"import sys; from PIL import Image; "
     "Image.open(sys.argv[1]).convert('P').save(sys.argv[2])\" SRC OUT",
     "pillow", 8},
    {"pillow-RGB", 0,
     "/usr/bin/python3 -c \"import sys; from PIL import Image; "
     "Image.open(sys.argv[1]).save(sys.argv[2])\" SRC OUT",
     "pillow", 24},
    {"pillow-RGBA", 0,
     "/usr/bin/python3 -c \"import sys; from PIL import Image; "
     "Image.open(sys.argv[1]).convert('RGBA').save(sys.argv[2])\" SRC OUT",
     "pillow", 32},
};

class BmpFromTools : public ::testing::TestWithParam<ToolFile> {};

TEST_P(BmpFromTools, ReadsThePixelsTheToolDecodes) {
    const ToolFile& c = GetParam();
    TempDir dir;
    const std::string in = dir.file("source.ppm"), bmp = dir.file(std::string(c.name) + ".bmp");
    testing::write_pnm(in, source_picture(c.colours));
    ASSERT_EQ(testing::run(testing::with_paths(c.command, in, bmp)), 0) << c.command;
    const Picture expected = decode_with(c.decoder, bmp, dir);
    ASSERT_GT(expected.width, 0);
    for (int32_t dib : {0, 1}) {
        BMGImage img;
        ClearImageRecord(&img);
        img.dibLayout = dib;
        ASSERT_EQ(ReadBmpFile(bmp.c_str(), &img), BMG_OK) << GetImageErrorText();
        EXPECT_EQ(img.bitsPerPixel, c.bits);
        EXPECT_EQ(testing::first_difference(testing::to_picture(img), expected), -1)
            << c.name << " dib " << dib;
        ReleaseImageRecord(&img);
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, BmpFromTools, ::testing::ValuesIn(kToolFiles),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

TEST(BmpFromTools, RunLengthFilesAreRefused) {
    TempDir dir;
    const std::string in = dir.file("source.ppm"), bmp = dir.file("rle.bmp");
    testing::write_pnm(in, source_picture(200));
    ASSERT_EQ(testing::run("convert " + testing::quoted(in) +
                           " -compress RLE -type Palette BMP3:" + testing::quoted(bmp)),
              0);
    BMGImage img;
    ClearImageRecord(&img);
    EXPECT_EQ(ReadBmpFile(bmp.c_str(), &img), BMG_ERR_FORMAT_OPTION);
    EXPECT_EQ(img.pixels, nullptr);
}

// A record of the given depth whose pixels come from the source picture's colours.
BMGImage record_from(const Picture& p, uint8_t bits) {
    BMGImage img;
    ClearImageRecord(&img);
    img.width = p.width;
    img.height = p.height;
    img.bitsPerPixel = bits;
    img.dibLayout = 1;
    if (bits <= 8) img.paletteSize = static_cast<uint16_t>(1u << bits);
    EXPECT_EQ(AllocateImageRecord(&img), BMG_OK);
    for (uint32_t i = 0; i < img.paletteSize; ++i) {
        img.palette[4 * i] = static_cast<uint8_t>(i * 13);
        img.palette[4 * i + 1] = static_cast<uint8_t>(i * 91 + 3);
        img.palette[4 * i + 2] = static_cast<uint8_t>(255 - i);
    }
    for (int y = 0; y < p.height; ++y) {
        uint8_t* row = img.pixels + static_cast<size_t>(p.height - 1 - y) * img.rowBytes;
        for (int x = 0; x < p.width; ++x) {
            const unsigned index =
                (p.at(x, y, 0) + p.at(x, y, 1)) % (bits <= 8 ? (1u << bits) : 256);
            if (bits == 1) row[x / 8] |= static_cast<uint8_t>(index << (7 - x % 8));
            if (bits == 4) row[x / 2] |= static_cast<uint8_t>(index << (x % 2 ? 0 : 4));
            if (bits == 8) row[x] = static_cast<uint8_t>(index);
            if (bits >= 24) {
                const unsigned step = bits / 8;
                row[step * x] = p.at(x, y, 2);
                row[step * x + 1] = p.at(x, y, 1);
                row[step * x + 2] = p.at(x, y, 0);
                if (step == 4) row[step * x + 3] = static_cast<uint8_t>(x * 5);
            }
        }
    }
    return img;
}

class BmpToTools : public ::testing::TestWithParam<int> {};

TEST_P(BmpToTools, ToolsDecodeWhatWeWrote) {
    const auto bits = static_cast<uint8_t>(GetParam());
    TempDir dir;
    BMGImage img = record_from(source_picture(0), bits);
    const std::string bmp = dir.file("ours.bmp");
    ASSERT_EQ(WriteBmpFile(bmp.c_str(), img), BMG_OK);
    // 32-bit records are written without their alpha: the tools see the colour channels.
    const Picture expected = testing::to_picture(img);
    for (const char* tool : {"netpbm", "magick", "pillow"})
        EXPECT_EQ(testing::first_difference(decode_with(tool, bmp, dir), expected), -1) << tool;
    ReleaseImageRecord(&img);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpToTools, ::testing::Values(1, 4, 8, 24, 32));

}  // namespace
}  // namespace quorvel::raster
