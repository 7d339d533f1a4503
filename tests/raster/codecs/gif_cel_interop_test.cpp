// GIF files written by netpbm, ImageMagick and Pillow (2, 16 and 256 colours, interlaced,
// with transparency and offsets), read by our reader and compared with what the tools decode.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

TEST(GifInterop, FilesFromNetpbmImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::vector<ToolFile> files = {
        {"pamtogif 2 colours", "pamtogif \"$IN\" > \"$OUT\"", src.two, Decoder::Netpbm, false, 1},
        {"pamtogif 16 colours", "pamtogif \"$IN\" > \"$OUT\"", src.sixteen, Decoder::Netpbm, false,
         4},
        {"pamtogif 256 levels", "pamtogif \"$IN\" > \"$OUT\"", src.gray, Decoder::Netpbm, false, 8},
        {"pamtogif interlaced", "pamtogif -interlace \"$IN\" > \"$OUT\"", src.gray, Decoder::Netpbm,
         false, 8},
        {"ppmtogif", "ppmtogif \"$IN\" > \"$OUT\"", src.sixteen, Decoder::Netpbm, false, 4},
        {"convert 2 colours", "convert \"$IN\" gif:\"$OUT\"", src.two, Decoder::Magick},
        {"convert 16 colours", "convert \"$IN\" gif:\"$OUT\"", src.sixteen, Decoder::Magick, false,
         4},
        {"convert 256 levels", "convert \"$IN\" gif:\"$OUT\"", src.gray, Decoder::Magick, false, 8},
        {"convert interlaced", "convert \"$IN\" -interlace GIF gif:\"$OUT\"", src.sixteen,
         Decoder::Magick},
        {"pillow 16 colours", pillow_save("P", ", format='GIF'", 16), src.rgb, Decoder::Pillow},
        {"pillow 256 colours", pillow_save("P", ", format='GIF'", 256), src.rgb, Decoder::Pillow,
         false, 8},
        {"pillow interlaced", pillow_save("L", ", format='GIF', interlace=True"), src.gray,
         Decoder::Pillow},
        {"pillow 2 colours", pillow_save("1", ", format='GIF'"), src.two, Decoder::Pillow},
    };
    read_tool_files(dir, files, ReadGifFile, "gif", "giftopnm");
}

// The transparent colour is the colour of the top-left pixel; its index must be recorded, and
// every other pixel keep its colour (a writer may store anything in the transparent entry).
void expect_transparent_top_left(const std::string& file, const Picture& source) {
    Record rec;
    ASSERT_EQ(ReadGifFile(file.c_str(), &rec.img), BMG_OK);
    ASSERT_GE(rec->transparentIndex, 0);
    EXPECT_EQ(rec->transparentIndex, index_at(rec.img, 0, rec->height - 1));
    Picture ours = to_picture(rec.img), expected = normalised(source);
    int transparent = 0;
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x)
            if (index_at(rec.img, x, rec->height - 1 - y) == rec->transparentIndex) {
                ++transparent;
                for (int c = 0; c < 3; ++c)
                    ours.samples[(y * ours.width + x) * 3 + c] =
                        expected.samples[(y * ours.width + x) * 3 + c] = 0;
            }
    EXPECT_LT(transparent, ours.width * ours.height / 2);
    EXPECT_TRUE(same_pixels(ours, expected));
}

TEST(GifInterop, TransparencyFromEachTool) {
    testing::TempDir dir;
    const Sources src(dir);
    const Picture sixteen = testing::read_pnm(src.sixteen);
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", sixteen.at(0, 0, 0), sixteen.at(0, 0, 1),
                  sixteen.at(0, 0, 2));
    const std::string file = dir.file("t.gif");
    ASSERT_EQ(testing::run("pamtogif -transparent='" + std::string(colour) + "' " +
                           sh_quote(src.sixteen) + " > " + sh_quote(file) + " 2>/dev/null"),
              0);
    expect_transparent_top_left(file, sixteen);
    ASSERT_EQ(testing::run("convert " + sh_quote(src.sixteen) + " -transparent '" + colour +
                           "' gif:" + sh_quote(file)),
              0);
    expect_transparent_top_left(file, sixteen);
    const std::string script =
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('P', "
        "palette=Image.ADAPTIVE, colors=16)\nim.save(sys.argv[2], transparency=im.getpixel((0, "
        "0)))\n";
    testing::write_file(dir.file("t.py"), std::vector<uint8_t>(script.begin(), script.end()));
    ASSERT_EQ(testing::run("/usr/bin/python3 " + sh_quote(dir.file("t.py")) + " " +
                           sh_quote(src.sixteen) + " " + sh_quote(file)),
              0);
    expect_transparent_top_left(file, sixteen);
}

TEST(GifInterop, OffsetImageOnAScreenFromImageMagick) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string file = dir.file("o.gif");
    ASSERT_EQ(testing::run("convert " + sh_quote(src.sixteen) +
                           " -page 43x33+10+12 gif:" + sh_quote(file)),
              0);
    Record rec;
    ASSERT_EQ(ReadGifFile(file.c_str(), &rec.img), BMG_OK);
    ASSERT_EQ(rec->width, 43u);
    ASSERT_EQ(rec->height, 33u);
    const std::vector<uint8_t> bytes = testing::read_file(file);
    const uint8_t background = bytes[11];
    // giftopnm decodes the image alone: it must sit at (10, 12); around it the background.
    ASSERT_EQ(testing::run("giftopnm " + sh_quote(file) + " > " + sh_quote(dir.file("o.ppm"))), 0);
    const Picture image = normalised(testing::read_pnm(dir.file("o.ppm")));
    const Picture ours = to_picture(rec.img);
    ASSERT_EQ(image.width, 23);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 43; ++x) {
            const bool inside = x >= 10 && x < 33 && y >= 12 && y < 25;
            if (inside) {
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(ours.at(x, y, c), image.at(x - 10, y - 12, c)) << x << "," << y;
            } else {
                ASSERT_EQ(index_at(rec.img, x, 32 - y), background) << x << "," << y;
            }
        }
}

}  // namespace
}  // namespace quorvel::codec_test
