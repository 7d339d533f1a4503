// Paint Shop Pro files of file versions 3 and 4 built from the format's block description:
// a first raster layer in every compression the reader takes, palette and gray images, and
// the refusals.
#include <zlib.h>

#include "readers/reader_classes.h"
#include "handmade_files.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {


TEST(PspReader, RgbLayerInEachCompressionAndVersion) {
    for (unsigned major : {3u, 4u, 5u})
        for (unsigned how : {kNone, kRle, kLz77}) {
            SCOPED_TRACE("version " + std::to_string(major) + " compression " + std::to_string(how));
            const PspBuilder p{major};
            Bytes channels;
            channels.raw(p.channel(1, compress(kRed, how), 8).b)
                .raw(p.channel(2, compress(kGreen, how), 8).b)
                .raw(p.channel(3, compress(kBlue, how), 8).b);
            Bytes body;
            body.raw(p.image(3, 2, how, 24, false).b).raw(p.layer_bank(3, 2, channels, 3).b);
            auto g = load(readers::psp_graphic_class(), p.file(body));
            const Picture pic = bitmap_picture(dynamic_cast<toolkit::Bitmap&>(*g), false);
            ASSERT_EQ(pic.width, 3);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    EXPECT_EQ(pic.at(x, y, 0), kRed[y * 4 + x]);
                    EXPECT_EQ(pic.at(x, y, 1), kGreen[y * 4 + x]);
                    EXPECT_EQ(pic.at(x, y, 2), kBlue[y * 4 + x]);
                }
            const auto& info = dynamic_cast<readers::TGraphicExGraphic&>(*g).image_info();
            EXPECT_FLOAT_EQ(info.x_resolution, 40.0f * 2.54f);
        }
}

TEST(PspReader, PaletteAndGrayImages) {
    const PspBuilder p{4};
    const std::vector<uint8_t> indexes = {0, 1, 1, 0, 1, 0, 0, 0};
    Bytes body;
    body.raw(p.image(3, 2, kNone, 8, false).b).raw(p.palette({{200, 100, 50}, {1, 2, 3}}).b);
    body.raw(p.layer_bank(3, 2, p.channel(0, indexes, 8), 1).b);
    Picture pic = load_picture(readers::psp_graphic_class(), p.file(body));
    EXPECT_EQ(pic.at(0, 0, 0), 200);
    EXPECT_EQ(pic.at(1, 0, 2), 3);
    EXPECT_EQ(pic.at(0, 1, 1), 2);

    Bytes gray;
    gray.raw(p.image(3, 2, kRle, 8, true).b).raw(p.layer_bank(3, 2, p.channel(0, compress(kRed, kRle), 8), 1).b);
    pic = load_picture(readers::psp_graphic_class(), p.file(gray));
    EXPECT_EQ(pic.at(2, 1, 1), 60);
}

TEST(PspReader, RefusalsUseTheFamilysMessages) {
    const PspBuilder p{4};
    const auto with_image = [&](unsigned compression, unsigned depth) {
        Bytes body;
        body.raw(p.image(3, 2, compression, depth, false).b);
        return p.file(body);
    };
    EXPECT_EQ(load_error(readers::psp_graphic_class(), with_image(kNone, 16)), "Invalid color format in PSP file.");
    EXPECT_EQ(load_error(readers::psp_graphic_class(), with_image(kJpeg, 24)),
              "Cannot load image. The compression scheme is not supported for PSP files.");
    Bytes broken;
    broken.raw(p.image(3, 2, kLz77, 24, false).b).raw(p.layer_bank(3, 2, p.channel(1, {1, 2, 3, 4, 5}, 8), 1).b);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), p.file(broken)), "LZ77 decompression error.");
    std::vector<uint8_t> old = with_image(kNone, 24);
    old[32] = 2;
    EXPECT_EQ(load_error(readers::psp_graphic_class(), old), "Cannot load image. Invalid or unexpected PSP image format.");
    std::vector<uint8_t> cut = with_image(kNone, 24);
    cut.resize(cut.size() - 3);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), cut), "Stream read error in PSP file.");
}

}  // namespace
}  // namespace quorvel::readers_test
