// Files third-party tools write in the formats the container reads besides BMP, PNG, TIFF and
// JPEG, read by our readers and compared with what the tools decode (and, for Targa and SGI,
// our writers' files read by the tools).
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

// GIF files written by netpbm, ImageMagick and Pillow (2, 16 and 256 colours, interlaced,
// with transparency and offsets), read by our reader and compared with what the tools decode.
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

// PCX and IFF ILBM files written by netpbm, ImageMagick and Pillow, read by our readers and
// compared with what the writing tool decodes.
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

// Targa and SGI files written by netpbm, ImageMagick and Pillow are read by our readers and
// compared with what the writing tool decodes; files our writers produce are read by those
// tools with the same pixels.
TEST(TgaInterop, FilesFromNetpbmImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::vector<ToolFile> files = {
        {"pamtotga colour-mapped rle", "pamtotga -cmap \"$IN\" > \"$OUT\"", src.few,
         Decoder::Netpbm},
        {"pamtotga colour-mapped", "pamtotga -cmap -norle \"$IN\" > \"$OUT\"", src.few,
         Decoder::Netpbm},
        {"pamtotga gray rle", "pamtotga -mono \"$IN\" > \"$OUT\"", src.gray, Decoder::Netpbm},
        {"pamtotga gray", "pamtotga -mono -norle \"$IN\" > \"$OUT\"", src.gray, Decoder::Netpbm},
        {"pamtotga rgb rle", "pamtotga -rgb \"$IN\" > \"$OUT\"", src.rgb, Decoder::Netpbm},
        {"pamtotga rgb", "pamtotga -rgb -norle \"$IN\" > \"$OUT\"", src.rgb, Decoder::Netpbm},
        {"ppmtotga", "ppmtotga \"$IN\" > \"$OUT\"", src.rgb, Decoder::Netpbm},
        // pamtotga sets no alpha bits in the descriptor: the pixels are read as 24 bits.
        {"pamtotga rgba", "pamtotga -norle \"$IN\" > \"$OUT\"", src.rgba, Decoder::Pillow},
        // ImageMagick 6.9 writes its Targa rows top first under a bottom-up descriptor and reads
        // them back the same way; netpbm and Pillow both follow the descriptor, as we do.
        {"convert rgb", "convert \"$IN\" -compress None tga:\"$OUT\"", src.rgb, Decoder::Pillow},
        {"convert rgb rle", "convert \"$IN\" -compress RLE tga:\"$OUT\"", src.rgb, Decoder::Pillow},
        {"convert gray", "convert \"$IN\" -compress None tga:\"$OUT\"", src.gray, Decoder::Pillow},
        {"convert palette", "convert \"$IN\" -type Palette -compress None tga:\"$OUT\"", src.few,
         Decoder::Pillow},
        {"convert palette rle", "convert \"$IN\" -type Palette -compress RLE tga:\"$OUT\"", src.rgb,
         Decoder::Pillow},
        {"convert rgba rle", "convert \"$IN\" -compress RLE tga:\"$OUT\"", src.rgba,
         Decoder::Pillow, true},
        {"pillow rgb", pillow_save("RGB", ""), src.rgb, Decoder::Pillow},
        {"pillow rgb rle", pillow_save("RGB", ", rle=True"), src.rgb, Decoder::Pillow},
        {"pillow rgba rle", pillow_save("RGBA", ", rle=True"), src.rgbaPng, Decoder::Pillow, true},
        {"pillow gray", pillow_save("L", ""), src.gray, Decoder::Pillow},
        {"pillow gray rle", pillow_save("L", ", rle=True"), src.gray, Decoder::Pillow},
        // Gray with alpha: 16-bit pixels of image types 3 and 11, alpha bits in the descriptor.
        {"pillow gray alpha", pillow_save("LA", ""), src.rgbaPng, Decoder::Pillow, true},
        {"pillow gray alpha rle", pillow_save("LA", ", compression='tga_rle'"), src.rgbaPng,
         Decoder::Pillow, true},
        {"pillow palette", pillow_save("P", ""), src.rgb, Decoder::Pillow},
        {"pillow palette rle", pillow_save("P", ", rle=True"), src.rgb, Decoder::Pillow},
    };
    read_tool_files(dir, files, ReadTgaFile, "tga", "tgatoppm");
}

TEST(SgiInterop, FilesFromNetpbmImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::vector<ToolFile> files = {
        {"pnmtosgi rgb verbatim", "pnmtosgi -verbatim \"$IN\" > \"$OUT\"", src.rgb,
         Decoder::Netpbm},
        {"pnmtosgi rgb rle", "pnmtosgi -rle \"$IN\" > \"$OUT\"", src.rgb, Decoder::Netpbm},
        {"pnmtosgi gray verbatim", "pnmtosgi -verbatim \"$IN\" > \"$OUT\"", src.gray,
         Decoder::Netpbm},
        {"pnmtosgi gray rle", "pnmtosgi -rle \"$IN\" > \"$OUT\"", src.gray, Decoder::Netpbm},
        {"convert rgb", "convert \"$IN\" -compress None sgi:\"$OUT\"", src.rgb, Decoder::Magick},
        {"convert rgb rle", "convert \"$IN\" -compress RLE sgi:\"$OUT\"", src.rgb, Decoder::Magick},
        {"convert gray rle", "convert \"$IN\" -compress RLE sgi:\"$OUT\"", src.gray,
         Decoder::Magick},
        {"convert rgba", "convert \"$IN\" -compress None sgi:\"$OUT\"", src.rgba, Decoder::Magick,
         true},
        {"convert rgba rle", "convert \"$IN\" -compress RLE sgi:\"$OUT\"", src.rgba,
         Decoder::Magick, true},
        {"pillow gray", pillow_save("L", ", format='SGI'"), src.gray, Decoder::Pillow},
        {"pillow rgb", pillow_save("RGB", ", format='SGI'"), src.rgb, Decoder::Pillow},
        {"pillow rgba", pillow_save("RGBA", ", format='SGI'"), src.rgbaPng, Decoder::Pillow, true},
    };
    read_tool_files(dir, files, ReadSgiRgbFile, "rgb", "sgitopnm");
}

// A record holding `picture` as 24 or 32 bits, or as an 8-bit palette image (the picture's
// distinct colours), packed to 1 or 4 bits when they are few enough.
void fill_record(const Picture& picture, Record& rec, bool indexed) {
    rec->width = static_cast<uint32_t>(picture.width);
    rec->height = static_cast<uint32_t>(picture.height);
    rec->bitsPerPixel = indexed ? 8 : static_cast<uint8_t>(picture.channels == 4 ? 32 : 24);
    std::vector<uint32_t> colours;
    auto colour_of = [&](int x, int y) {
        const int c = picture.channels;
        return c == 1
                   ? picture.at(x, y, 0) * 0x10101u
                   : (picture.at(x, y, 0) << 16) | (picture.at(x, y, 1) << 8) | picture.at(x, y, 2);
    };
    if (indexed) {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (std::find(colours.begin(), colours.end(), colour_of(x, y)) == colours.end())
                    colours.push_back(colour_of(x, y));
        ASSERT_LE(colours.size(), 256u);
        rec->paletteSize = static_cast<uint16_t>(colours.size());
    }
    ASSERT_EQ(AllocateImageRecord(&rec.img), BMG_OK);
    for (size_t i = 0; i < colours.size(); ++i) {
        rec->palette[4 * i] = colours[i] & 255;
        rec->palette[4 * i + 1] = (colours[i] >> 8) & 255;
        rec->palette[4 * i + 2] = colours[i] >> 16;
    }
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            uint8_t* row =
                rec->pixels + static_cast<size_t>(picture.height - 1 - y) * rec->rowBytes;
            if (indexed) {
                row[x] = static_cast<uint8_t>(
                    std::find(colours.begin(), colours.end(), colour_of(x, y)) - colours.begin());
                continue;
            }
            const int n = rec->bitsPerPixel / 8;
            for (int c = 0; c < 3; ++c) row[x * n + 2 - c] = picture.at(x, y, c);
            if (n == 4) row[x * n + 3] = picture.at(x, y, 3);
        }
    if (indexed) {
        ASSERT_EQ(PackIndexedImage(&rec.img), BMG_OK);
    }
}

using Writer = BMGError (*)(const char*, BMGImage);

// Our file read by every tool: the same pixels each time.
void written_files_read_by_tools(Writer writer, const std::string& extension,
                                 const std::string& netpbmDecoder) {
    testing::TempDir dir;
    struct Variant {
        const char* label;
        Picture picture;
        bool indexed;
    };
    const Variant variants[] = {
        {"24 bits", pattern(23, 13, 3), false},         {"32 bits", pattern(23, 13, 4), false},
        {"8-bit colours", pattern(23, 13, 3, 6), true}, {"8-bit gray", pattern(23, 13, 1), true},
        {"4 bits", pattern(23, 13, 3, 3), true},        {"1 bit", pattern(23, 13, 1, 2), true},
    };
    const std::string file = dir.file("ours." + extension);
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.label);
        Record rec(1);
        fill_record(v.picture, rec, v.indexed);
        ASSERT_EQ(writer(file.c_str(), rec.img), BMG_OK);
        const bool alpha = rec->bitsPerPixel == 32;
        const Picture ours = to_picture(rec.img, alpha);
        EXPECT_TRUE(
            same_pixels(normalised(pillow_decode(file, dir.file("p.pam"), alpha), alpha), ours))
            << "Pillow";
        EXPECT_TRUE(
            same_pixels(normalised(magick_decode(file, dir.file("m.pam"), alpha), alpha), ours))
            << "convert";
        if (!alpha) {
            ASSERT_EQ(testing::run(netpbmDecoder + " " + sh_quote(file) + " > " +
                                   sh_quote(dir.file("n.pnm"))),
                      0);
            EXPECT_TRUE(same_pixels(normalised(testing::read_pnm(dir.file("n.pnm"))), ours))
                << "netpbm";
        }
    }
}

TEST(TgaInterop, OurFilesReadByNetpbmImageMagickAndPillow) {
    written_files_read_by_tools(WriteTgaFile, "tga", "tgatoppm");
}

TEST(SgiInterop, OurFilesReadByNetpbmImageMagickAndPillow) {
    written_files_read_by_tools(WriteSgiRgbFile, "rgb", "sgitopnm");
}

}  // namespace
}  // namespace quorvel::codec_test
