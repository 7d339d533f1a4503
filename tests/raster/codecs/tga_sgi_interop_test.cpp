// Targa and SGI files written by netpbm, ImageMagick and Pillow are read by our readers and
// compared with what the writing tool decodes; files our writers produce are read by those
// tools with the same pixels.
#include <gtest/gtest.h>

#include "support/codec_test_helpers.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

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
