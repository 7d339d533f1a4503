// PNG files written by netpbm, ImageMagick and Pillow, read by ReadPngFile and compared with
// what ImageMagick decodes; and files ReadPngFile's writer makes, read back by those tools.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "support/record_picture.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using testing::Picture;
using testing::quoted;
using testing::TempDir;

constexpr int kWidth = 37;
constexpr int kHeight = 23;

// What the reader makes of transparency, and so how its pixels compare with a decoder's.
enum class Expect {
    Opaque,      // colours equal; any transparency in the file is not used
    Alpha,       // colours and alpha equal
    Background,  // colours equal the decoder's blended over the bKGD colour
    Index0,      // transparent pixels carry palette index 0, marked transparent
};

struct Case {
    std::string name;
    std::string command;  // shell command; "pillow:" prefix for a Pillow program
    int colour_type;      // what the file must hold, so that every kind is covered
    int depth;            // -1: whatever the tool chose
    int interlace;
    Expect expect;
    std::array<uint8_t, 3> background{};
};

// Netpbm files with any maxval, 16-bit samples big-endian.
void write_netpbm(const std::string& path, const Picture& p, int maxval) {
    std::string text = std::string(p.channels == 1 ? "P5" : "P6") + "\n" + std::to_string(p.width) +
                       " " + std::to_string(p.height) + "\n" + std::to_string(maxval) + "\n";
    std::vector<uint8_t> bytes(text.begin(), text.end());
    for (uint8_t s : p.samples) {
        if (maxval > 255) {
            // s * 257 plus 1 (but 0 and full scale exact): the high byte and v / 257, rounded
            // or not, all give s, and no tool can drop to 8 bits without loss.
            const unsigned v = s * 257u + (s != 0 && s != 255);
            bytes.push_back(static_cast<uint8_t>(v >> 8));
            bytes.push_back(static_cast<uint8_t>(v));
        } else {
            bytes.push_back(static_cast<uint8_t>(s * maxval / 255));
        }
    }
    testing::write_file(path, bytes);
}

Picture channel(const Picture& p, int c) {
    Picture out{p.width, p.height, 1, {}};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) out.samples.push_back(p.at(x, y, c));
    return out;
}

// A picture of `colours` distinct colours.
Picture few_colours(int colours) {
    Picture p{kWidth, kHeight, 3, {}};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int k = (x / 3 + y / 2 * 3) % colours;
            p.samples.insert(p.samples.end(), {static_cast<uint8_t>(k * 255 / colours),
                                               static_cast<uint8_t>(255 - k * 13),
                                               static_cast<uint8_t>(k % 2 ? 200 : 30)});
        }
    return p;
}

class PngFromTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"convert", "pnmtopng"})
            ASSERT_TRUE(testing::have_tool(tool)) << tool;
        ASSERT_EQ(testing::run("/usr/bin/python3 -c 'import PIL'"), 0)
            << "Pillow for /usr/bin/python3";
        Picture rgb = testing::pattern(kWidth, kHeight, 3, 7);
        for (int i = 0; i < 40; ++i) {  // the colour that the keyed files make transparent
            uint8_t* p =
                &rgb.samples[(static_cast<size_t>(i * 7 % kHeight) * kWidth + i * 11 % kWidth) * 3];
            p[0] = 255, p[1] = 0, p[2] = 0;
        }
        Picture gray = testing::pattern(kWidth, kHeight, 1, 3);
        for (int i = 0; i < 40; ++i)
            gray.samples[static_cast<size_t>(i) * 19 % gray.samples.size()] = 128;
        const Picture alpha = channel(testing::pattern(kWidth, kHeight, 4, 5), 3);
        write_netpbm(dir.file("rgb.ppm"), rgb, 255);
        write_netpbm(dir.file("rgb16.ppm"), rgb, 65535);
        write_netpbm(dir.file("gray.pgm"), gray, 255);
        write_netpbm(dir.file("gray16.pgm"), gray, 65535);
        for (int maxval : {1, 3, 15})
            write_netpbm(dir.file("g" + std::to_string(maxval) + ".pgm"), gray, maxval);
        write_netpbm(dir.file("alpha.pgm"), alpha, 255);
        write_netpbm(dir.file("few2.ppm"), few_colours(2), 255);
        write_netpbm(dir.file("few3.ppm"), few_colours(3), 255);
        write_netpbm(dir.file("few16.ppm"), few_colours(16), 255);
        write_netpbm(dir.file("few100.ppm"), few_colours(100), 255);
    }

    std::string in(const std::string& name) const { return quoted(dir.file(name)); }

    // Runs a Pillow program of a case, with $D/ naming the scratch directory and $OUT the file.
    int make_with_pillow(std::string program, const std::string& out) {
        for (size_t at; (at = program.find("$D/")) != std::string::npos;)
            program.replace(at, 3, dir.path().string() + "/");
        for (size_t at; (at = program.find("$OUT")) != std::string::npos;)
            program.replace(at, 4, out);
        return testing::run_pillow(program, dir.file("pil"));
    }

    void check(const Case& c) {
        SCOPED_TRACE(c.name);
        const std::string out = dir.file("case.png");
        std::remove(out.c_str());
        std::string command = c.command;
        const bool pillow = command.rfind("pillow:", 0) == 0;
        if (pillow) {
            ASSERT_EQ(make_with_pillow(command.substr(7), out), 0);
        } else {
            for (size_t at; (at = command.find("$OUT")) != std::string::npos;)
                command.replace(at, 4, quoted(out));
            ASSERT_EQ(testing::run("cd " + quoted(dir.path().string()) + " && " + command), 0)
                << command;
        }
        const std::vector<uint8_t> file = testing::read_file(out);
        ASSERT_GT(file.size(), 33u);
        EXPECT_EQ(file[25], c.colour_type) << "colour type the tool wrote";
        if (c.depth >= 0) {
            EXPECT_EQ(file[24], c.depth) << "depth the tool wrote";
        }
        EXPECT_EQ(file[28], c.interlace) << "interlace method";

        BMGImage img;
        ClearImageRecord(&img);
        img.dibLayout = 1;
        ASSERT_EQ(ReadPngFile(out.c_str(), &img), BMG_OK);
        const Picture ours = testing::record_picture(img);
        const Picture reference = testing::magick_decode(out, dir.file("ref"));
        EXPECT_EQ(img.bitsPerPixel, expected_depth(file[25], file[24], c.expect));
        compare(c, img, ours, reference);
        ReleaseImageRecord(&img);
    }

    static int expected_depth(int colour_type, int depth, Expect expect) {
        if (colour_type == 4 || colour_type == 6 || expect == Expect::Alpha) return 32;
        if (colour_type == 2) return 24;
        return depth == 2 ? 4 : (depth == 16 ? 8 : depth);
    }

    static void compare(const Case& c, const BMGImage& img, const Picture& ours,
                        const Picture& reference) {
        ASSERT_EQ(ours.width, reference.width);
        ASSERT_EQ(ours.height, reference.height);
        if (c.expect == Expect::Opaque || c.expect == Expect::Alpha) {
            EXPECT_EQ(testing::max_difference(ours, reference, c.expect == Expect::Alpha), 0);
            return;
        }
        int mismatches = 0;
        for (int y = 0; y < ours.height; ++y)
            for (int x = 0; x < ours.width; ++x) {
                const uint8_t a = reference.at(x, y, 3);
                for (int ch = 0; ch < 3; ++ch) {
                    const uint8_t got = ours.at(x, y, ch);
                    if (c.expect == Expect::Background) {
                        mismatches +=
                            got != CompositeChannel(reference.at(x, y, ch), a, c.background[ch]);
                    } else if (a != 0) {
                        mismatches += got != reference.at(x, y, ch);
                    }
                }
                if (c.expect == Expect::Index0) {
                    const uint8_t* row =
                        img.pixels + static_cast<size_t>(img.height - 1 - y) * img.rowBytes;
                    mismatches += (a == 0) != (testing::record_index(img, row, x) == 0);
                }
            }
        EXPECT_EQ(mismatches, 0);
        if (c.expect == Expect::Index0) {
            EXPECT_EQ(img.transparentIndex, 0);
        }
    }

    TempDir dir;
};

const std::string kPaletteOf(int colours) {
    return "im = Image.open('$D/few" + std::to_string(colours) +
           ".ppm').convert('P', palette=Image.ADAPTIVE, colors=" + std::to_string(colours) + ")\n";
}

TEST_F(PngFromTools, NetpbmGrayTruecolourAndPalettesOfEveryDepth) {
    check({"gray 1", "pnmtopng g1.pgm > $OUT", 0, 1, 0, Expect::Opaque});
    check({"gray 2", "pnmtopng g3.pgm > $OUT", 0, 2, 0, Expect::Opaque});
    check({"gray 4", "pnmtopng g15.pgm > $OUT", 0, 4, 0, Expect::Opaque});
    check({"gray 8", "pnmtopng gray.pgm > $OUT", 0, 8, 0, Expect::Opaque});
    check({"gray 16", "pnmtopng gray16.pgm > $OUT", 0, 16, 0, Expect::Opaque});
    check({"gray 8 interlaced", "pnmtopng -interlace gray.pgm > $OUT", 0, 8, 1, Expect::Opaque});
    check({"gray with alpha", "pnmtopng -alpha=alpha.pgm gray.pgm > $OUT", 4, 8, 0, Expect::Alpha});
    check({"rgb 8", "pnmtopng -force rgb.ppm > $OUT", 2, 8, 0, Expect::Opaque});
    check({"rgb 16", "pnmtopng -force rgb16.ppm > $OUT", 2, 16, 0, Expect::Opaque});
    check({"rgb interlaced", "pnmtopng -force -interlace rgb.ppm > $OUT", 2, 8, 1, Expect::Opaque});
    check({"rgba", "pnmtopng -alpha=alpha.pgm rgb.ppm > $OUT", 6, 8, 0, Expect::Alpha});
    check({"palette 2", "pnmtopng few3.ppm > $OUT", 3, 2, 0, Expect::Opaque});
    check({"palette 8", "pnmtopng few100.ppm > $OUT", 3, 8, 0, Expect::Opaque});
}

TEST_F(PngFromTools, NetpbmTransparencyAndBackground) {
    check({"palette, one transparent entry", "pnmtopng -transparent =rgb:00/ff/1e few3.ppm > $OUT",
           3, 2, 0, Expect::Index0});
    check({"palette, transparent entry and bKGD",
           "pnmtopng -transparent =rgb:55/f2/c8 -background rgb:10/20/30 few3.ppm > $OUT",
           3,
           2,
           0,
           Expect::Background,
           {0x10, 0x20, 0x30}});
    check({"rgb, tRNS and bKGD",
           "pnmtopng -force -transparent =rgb:ff/00/00 -background rgb:40/50/60 rgb.ppm > $OUT",
           2,
           8,
           0,
           Expect::Background,
           {0x40, 0x50, 0x60}});
    // 16-bit samples: the bKGD colour is scaled to 8 bits, not cut to its low byte.
    check({"rgb 16, tRNS and bKGD",
           "pnmtopng -force -transparent =rgb:ff/00/00 -background rgb:4010/5020/6030 rgb16.ppm > "
           "$OUT",
           2,
           16,
           0,
           Expect::Background,
           {0x40, 0x50, 0x60}});
    // The transparent level is 128, not 0: that ramp entry shows the background.
    check({"gray, tRNS and bKGD",
           "pnmtopng -transparent =rgb:80/80/80 -background rgb:c0/c0/c0 gray.pgm > $OUT",
           0,
           8,
           0,
           Expect::Background,
           {0xC0, 0xC0, 0xC0}});
    check({"rgb, tRNS without bKGD", "pnmtopng -force -transparent =rgb:ff/00/00 rgb.ppm > $OUT", 2,
           8, 0, Expect::Opaque});
}

TEST_F(PngFromTools, ImageMagickDepthsPalettesAndInterlacing) {
    check({"palette 1", "convert few2.ppm -define png:bit-depth=1 png8:$OUT", 3, 1, 0,
           Expect::Opaque});
    check({"palette 4", "convert few16.ppm -define png:bit-depth=4 png8:$OUT", 3, 4, 0,
           Expect::Opaque});
    check({"palette 8 interlaced", "convert few100.ppm -interlace PNG png8:$OUT", 3, 8, 1,
           Expect::Opaque});
    check({"rgb 16", "convert rgb.ppm -depth 16 png48:$OUT", 2, 16, 0, Expect::Opaque});
    check({"rgba 8 interlaced",
           "convert rgb.ppm alpha.pgm -compose CopyOpacity -composite -interlace PNG png32:$OUT", 6,
           8, 1, Expect::Alpha});
    check({"rgba 16",
           "convert rgb.ppm alpha.pgm -compose CopyOpacity -composite -depth 16 png64:$OUT", 6, 16,
           0, Expect::Alpha});
    check({"gray alpha 16",
           "convert gray16.pgm alpha.pgm -compose CopyOpacity -composite -depth 16 -define "
           "png:color-type=4 $OUT",
           4, 16, 0, Expect::Alpha});
}

TEST_F(PngFromTools, PillowModes) {
    check({"1-bit", "pillow:Image.open('$D/g1.pgm').convert('1').save('$OUT')", 0, 1, 0,
           Expect::Opaque});
    check({"P bits 1", "pillow:" + kPaletteOf(2) + "im.save('$OUT', bits=1)", 3, 1, 0,
           Expect::Opaque});
    check({"P bits 2", "pillow:" + kPaletteOf(3) + "im.save('$OUT', bits=2)", 3, 2, 0,
           Expect::Opaque});
    check({"P bits 4", "pillow:" + kPaletteOf(16) + "im.save('$OUT', bits=4)", 3, 4, 0,
           Expect::Opaque});
    // Several tRNS entries: an alpha channel; indexes past the table are opaque.
    check(
        {"P with alpha table",
         "pillow:" + kPaletteOf(16) + "im.save('$OUT', transparency=bytes([0, 60, 120, 180, 240]))",
         3, 8, 0, Expect::Alpha});
    check({"P 2 bits with alpha table",
           "pillow:" + kPaletteOf(3) + "im.save('$OUT', bits=2, transparency=bytes([90, 0]))", 3, 2,
           0, Expect::Alpha});
    check({"LA",
           "pillow:Image.merge('LA', [Image.open('$D/gray.pgm'), "
           "Image.open('$D/alpha.pgm')]).save('$OUT')",
           4, 8, 0, Expect::Alpha});
    check({"RGBA",
           "pillow:Image.merge('RGBA', [*Image.open('$D/rgb.ppm').split(), "
           "Image.open('$D/alpha.pgm')]).save('$OUT')",
           6, 8, 0, Expect::Alpha});
    check({"I;16", "pillow:Image.open('$D/gray16.pgm').save('$OUT')", 0, 16, 0, Expect::Opaque});
    check({"L with tRNS", "pillow:Image.open('$D/gray.pgm').save('$OUT', transparency=128)", 0, 8,
           0, Expect::Opaque});
    check({"RGB with tRNS",
           "pillow:Image.open('$D/rgb.ppm').save('$OUT', transparency=(255, 0, 0))", 2, 8, 0,
           Expect::Opaque});
}

// ---------------------------------------------------------------------------------------------

class PngForTools : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing::have_tool("convert"));
        ASSERT_TRUE(testing::have_tool("pngtopam"));
    }
    TempDir dir;
};

TEST_F(PngForTools, ToolsReadWhatTheWriterWrites) {
    struct Source {
        const char* name;
        BMGImage img;
    };
    std::vector<Source> sources = {
        {"24 bits", testing::record_from(testing::pattern(kWidth, kHeight, 4, 2), 24)},
        {"32 bits", testing::record_from(testing::pattern(kWidth, kHeight, 4, 3), 32)},
        {"4-bit colours", testing::indexed_record(5, 4, 4, {0,  1,  2,  3,  4,  5,  6, 7, 8, 9,
                                                            10, 11, 12, 13, 14, 15, 0, 1, 2, 3},
                                                  {{0, 0, 255},
                                                   {0, 255, 0},
                                                   {255, 0, 0},
                                                   {9, 9, 9},
                                                   {1, 2, 3},
                                                   {50, 60, 70},
                                                   {80, 90, 100},
                                                   {110, 120, 130},
                                                   {140, 150, 160},
                                                   {170, 180, 190},
                                                   {200, 210, 220},
                                                   {230, 240, 250},
                                                   {255, 255, 0},
                                                   {0, 255, 255},
                                                   {255, 0, 255},
                                                   {128, 128, 128}})},
        {"1-bit gray",
         testing::indexed_record(9, 2, 1, {0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0},
                                 {{0, 0, 0}, {255, 255, 255}})},
    };
    for (Source& s : sources) {
        SCOPED_TRACE(s.name);
        const std::string path = dir.file("ours.png");
        ASSERT_EQ(WritePngFile(path.c_str(), s.img), BMG_OK);
        const Picture expected = testing::record_picture(s.img);
        EXPECT_EQ(testing::max_difference(testing::magick_decode(path, dir.file("im")), expected),
                  0);
        EXPECT_EQ(testing::max_difference(testing::pillow_decode(path, dir.file("pil")), expected),
                  0);
        ASSERT_EQ(testing::run("pngtopam -alphapam " + quoted(path) + " > " +
                               quoted(dir.file("n.pam")) + " 2>/dev/null"),
                  0);
        const Picture netpbm = testing::normalised(testing::read_pnm(dir.file("n.pam")), true);
        // (pngtopam keeps a 1-bit file's maxval of 1, which the PAM helper does not scale.)
        if (s.img.bitsPerPixel != 1) {
            EXPECT_EQ(testing::max_difference(netpbm, expected), 0);
        }
        ReleaseImageRecord(&s.img);
    }
}

}  // namespace
}  // namespace quorvel::raster
