// Targa, SGI and PCX files written by ImageMagick and Pillow, read by the extended readers
// and compared pixel by pixel with the writing tool's decoding; hand-made files for what no
// tool writes (16-bit Targa, runs across rows, short data).
#include "readers/reader_classes.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {

using codec_test::pillow_save;
using codec_test::Sources;

TEST(TargaReader, FilesFromImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    // ImageMagick 6.9 writes Targa rows top first under a bottom-up descriptor, so Pillow,
    // which follows the descriptor as we do, decodes all of them.
    check_tool_files(
        dir,
        {
            {"convert rgb", "convert \"$IN\" -compress None tga:\"$OUT\"", src.rgb,
             Decoder::Pillow},
            {"convert rgb rle", "convert \"$IN\" -compress RLE tga:\"$OUT\"", src.rgb,
             Decoder::Pillow},
            {"convert gray", "convert \"$IN\" -compress None tga:\"$OUT\"", src.gray,
             Decoder::Pillow},
            {"convert palette rle", "convert \"$IN\" -type Palette -compress RLE tga:\"$OUT\"",
             src.rgb, Decoder::Pillow},
            {"convert rgba rle", "convert \"$IN\" -compress RLE tga:\"$OUT\"", src.rgba,
             Decoder::Pillow, true},
            {"pillow rgb rle", pillow_save("RGB", ", rle=True"), src.rgb, Decoder::Pillow},
            {"pillow rgba", pillow_save("RGBA", ""), src.rgbaPng, Decoder::Pillow, true},
            {"pillow gray rle", pillow_save("L", ", rle=True"), src.gray, Decoder::Pillow},
            {"pillow gray alpha", pillow_save("LA", ""), src.rgbaPng, Decoder::Pillow},
            {"pillow gray alpha rle", pillow_save("LA", ", compression='tga_rle'"), src.rgbaPng,
             Decoder::Pillow},
            {"pillow palette", pillow_save("P", ""), src.rgb, Decoder::Pillow},
            {"pillow palette rle", pillow_save("P", ", rle=True"), src.rgb, Decoder::Pillow},
        },
        readers::targa_graphic_class(), "tga");
}

TEST(SgiReader, FilesFromImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    check_tool_files(
        dir,
        {
            {"convert rgb", "convert \"$IN\" -compress None sgi:\"$OUT\"", src.rgb,
             Decoder::Magick},
            {"convert rgb rle", "convert \"$IN\" -compress RLE sgi:\"$OUT\"", src.rgb,
             Decoder::Magick},
            {"convert gray rle", "convert \"$IN\" -compress RLE sgi:\"$OUT\"", src.gray,
             Decoder::Magick},
            {"convert rgba rle", "convert \"$IN\" -compress RLE sgi:\"$OUT\"", src.rgba,
             Decoder::Magick, true},
            {"convert 16-bit rgb", "convert \"$IN\" -depth 16 -compress None sgi:\"$OUT\"", src.rgb,
             Decoder::Magick},
            {"convert 16-bit rgb rle", "convert \"$IN\" -depth 16 -compress RLE sgi:\"$OUT\"",
             src.rgb, Decoder::Magick},
            {"pillow gray", pillow_save("L", ", format='SGI'"), src.gray, Decoder::Pillow},
            {"pillow rgba", pillow_save("RGBA", ", format='SGI'"), src.rgbaPng, Decoder::Pillow,
             true},
        },
        readers::sgi_graphic_class(), "sgi");
}

TEST(PcxReader, FilesFromImageMagickAndPillow) {
    testing::TempDir dir;
    const Sources src(dir);
    check_tool_files(dir,
                     {
                         {"convert rgb", "convert \"$IN\" pcx:\"$OUT\"", src.rgb, Decoder::Pillow},
                         {"convert palette", "convert \"$IN\" -type Palette pcx:\"$OUT\"", src.rgb,
                          Decoder::Pillow},
                         {"convert 16 colours", "convert \"$IN\" -type Palette pcx:\"$OUT\"",
                          src.sixteen, Decoder::Pillow},
                         {"convert bilevel", "convert \"$IN\" -type Bilevel pcx:\"$OUT\"", src.two,
                          Decoder::Pillow},
                         {"pillow rgb", pillow_save("RGB", ""), src.rgb, Decoder::Pillow},
                         {"pillow gray", pillow_save("L", ""), src.gray, Decoder::Pillow},
                         {"pillow palette", pillow_save("P", ""), src.rgb, Decoder::Pillow},
                         {"pillow bilevel", pillow_save("1", ""), src.two, Decoder::Pillow},
                     },
                     readers::pcx_graphic_class(), "pcx");
}

}  // namespace
}  // namespace quorvel::readers_test
