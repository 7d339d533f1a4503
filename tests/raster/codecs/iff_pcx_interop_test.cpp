// PCX and IFF ILBM files written by netpbm, ImageMagick and Pillow, read by our readers and
// compared with what the writing tool decodes.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

TEST(PcxInterop, FilesFromNetpbmImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::vector<ToolFile> files = {
        {"ppmtopcx 2 colours", "ppmtopcx \"$IN\" > \"$OUT\"", src.two, Decoder::Netpbm, false, 1},
        {"ppmtopcx 16 colours planar", "ppmtopcx \"$IN\" > \"$OUT\"", src.sixteen, Decoder::Netpbm,
         false, 4},
        {"ppmtopcx 16 colours packed", "ppmtopcx -packed \"$IN\" > \"$OUT\"", src.sixteen,
         Decoder::Netpbm, false, 4},
        {"ppmtopcx 256 colours", "ppmtopcx -8bit \"$IN\" > \"$OUT\"", src.sixteen, Decoder::Netpbm,
         false, 8},
        {"ppmtopcx 24 bits", "ppmtopcx -24bit \"$IN\" > \"$OUT\"", src.rgb, Decoder::Netpbm, false,
         24},
        // ImageMagick 6.9 writes two-level pictures as 24-bit PCX; netpbm and Pillow give 1 bit.
        {"convert 2 levels", "convert \"$IN\" -type bilevel pcx:\"$OUT\"", src.two,
         Decoder::Magick},
        {"convert palette", "convert \"$IN\" -type palette pcx:\"$OUT\"", src.sixteen,
         Decoder::Magick, false, 8},
        {"convert 24 bits", "convert \"$IN\" pcx:\"$OUT\"", src.rgb, Decoder::Magick, false, 24},
        {"pillow 1 bit", pillow_save("1", ", format='PCX'"), src.two, Decoder::Pillow, false, 1},
        {"pillow gray", pillow_save("L", ", format='PCX'"), src.gray, Decoder::Pillow, false, 8},
        {"pillow palette", pillow_save("P", ", format='PCX'", 16), src.rgb, Decoder::Pillow, false,
         8},
        {"pillow rgb", pillow_save("RGB", ", format='PCX'"), src.rgb, Decoder::Pillow, false, 24},
    };
    read_tool_files(dir, files, ReadPcxFile, "pcx", "pcxtoppm");
}

TEST(IffInterop, FilesFromNetpbm) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string mask = dir.file("mask.pbm");
    std::string bits = "P1\n23 13\n";
    for (int i = 0; i < 23 * 13; ++i) bits += (i % 5 == 0) ? "1\n" : "0\n";
    testing::write_file(mask, std::vector<uint8_t>(bits.begin(), bits.end()));
    const std::vector<ToolFile> files = {
        {"ppmtoilbm 16 colours", "ppmtoilbm -fixplanes 8 \"$IN\" > \"$OUT\"", src.sixteen,
         Decoder::Netpbm, false, 8},
        {"ppmtoilbm 4 colours", "ppmtoilbm -fixplanes 8 \"$IN\" > \"$OUT\"", src.few,
         Decoder::Netpbm, false, 8},
        {"ppmtoilbm gray", "ppmtoilbm -fixplanes 8 \"$IN\" > \"$OUT\"", src.gray, Decoder::Netpbm,
         false, 8},
        {"ppmtoilbm mask plane",
         "ppmtoilbm -fixplanes 8 -maskfile " + sh_quote(mask) +
             " -mmethod maskplane \"$IN\" > \"$OUT\"",
         src.sixteen, Decoder::Netpbm, false, 8},
    };
    read_tool_files(dir, files, ReadIffFile, "iff", "ilbmtoppm");
}

TEST(IffInterop, TransparentColourFromNetpbm) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string file = dir.file("t.iff");
    // The colour of the top-left pixel becomes the transparent colour.
    const Picture sixteen = testing::read_pnm(src.sixteen);
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", sixteen.at(0, 0, 0), sixteen.at(0, 0, 1),
                  sixteen.at(0, 0, 2));
    ASSERT_EQ(testing::run("ppmtoilbm -fixplanes 8 -transparent '" + std::string(colour) + "' " +
                           sh_quote(src.sixteen) + " > " + sh_quote(file) + " 2>/dev/null"),
              0);
    Record rec;
    ASSERT_EQ(ReadIffFile(file.c_str(), &rec.img), BMG_OK);
    ASSERT_GE(rec->transparentIndex, 0);
    EXPECT_EQ(rec->transparentIndex, index_at(rec.img, 0, rec->height - 1));
    EXPECT_TRUE(same_pixels(to_picture(rec.img), normalised(sixteen)));
}

}  // namespace
}  // namespace quorvel::codec_test
