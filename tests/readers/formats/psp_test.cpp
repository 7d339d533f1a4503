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
            SCOPED_TRACE("version " + std::to_string(major) + " compression " +
                         std::to_string(how));
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
    gray.raw(p.image(3, 2, kRle, 8, true).b)
        .raw(p.layer_bank(3, 2, p.channel(0, compress(kRed, kRle), 8), 1).b);
    pic = load_picture(readers::psp_graphic_class(), p.file(gray));
    EXPECT_EQ(pic.at(2, 1, 1), 60);
}

// Three planes of one value each, `width` x `height` with rows padded to 4 bytes.
Bytes flat_channels(const PspBuilder& p, int width, int height, std::array<uint8_t, 3> rgb) {
    Bytes channels;
    const size_t size = static_cast<size_t>((width + 3) / 4 * 4 * height);
    for (unsigned c = 0; c < 3; ++c)
        channels.raw(p.channel(c + 1, std::vector<uint8_t>(size, rgb[c]), size).b);
    return channels;
}

// Every visible raster layer is drawn, bottom first, blended normally: the layer's opacity
// times its transparency mask; hidden and vector layers are not; what no layer covers is
// transparent.
TEST(PspReader, VisibleRasterLayersComposeWithOpacityAndMask) {
    for (unsigned major : {3u, 4u}) {
        SCOPED_TRACE("version " + std::to_string(major));
        const PspBuilder p{major};
        Bytes top = flat_channels(p, 2, 2, {0, 0, 250});
        top.raw(p.channel(0, {255, 0, 0, 0, 255, 255, 0, 0}, 8, 1).b);  // transparency mask
        Bytes layers;
        layers.raw(p.layer({0, 0, 4, 3}, flat_channels(p, 4, 3, {200, 100, 50}), 3).b)
            .raw(p.layer({1, 1, 2, 2, 128}, top, 4).b)
            .raw(p.layer({0, 0, 5, 3, 255, false}, flat_channels(p, 5, 3, {9, 9, 9}), 3).b)
            .raw(p.layer({0, 0, 5, 3, 255, true, 3}, flat_channels(p, 5, 3, {7, 7, 7}), 3).b);
        Bytes body;
        body.raw(p.image(5, 3, kNone, 24, false).b).raw(p.bank(layers).b);
        const Picture pic = load_picture(readers::psp_graphic_class(), p.file(body), true);
        const auto blend = [](int over, int under) {
            return (over * 128 + under * 127 + 127) / 255;
        };
        const std::array<int, 4> bottom = {200, 100, 50, 255},
                                 mixed = {blend(0, 200), blend(0, 100), blend(250, 50), 255};
        const std::pair<std::array<int, 2>, std::array<int, 4>> expected[] = {
            {{0, 0}, bottom},
            {{1, 1}, mixed},
            {{2, 1}, bottom},
            {{2, 2}, mixed},
            {{4, 0}, {0, 0, 0, 0}}};
        for (const auto& [at, rgba] : expected)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(pic.at(at[0], at[1], c), rgba[c]) << at[0] << "," << at[1] << " " << c;
    }
}

// A picture is what its raster layers show: without one there is none, and a canvas over
// 2048 x 2048 pixels may be at most 64 times what the layers hold, so that a small file
// cannot ask for a huge one.
TEST(PspReader, NoRasterLayerIsAnErrorAndLayersBoundTheCanvas) {
    const PspBuilder p{4};
    const auto file = [&](int width, int height, const Bytes& layers) {
        Bytes body;
        body.raw(p.image(width, height, kNone, 24, false).b);
        if (!layers.b.empty()) body.raw(p.bank(layers).b);
        return p.file(body);
    };
    const std::string invalid = "Cannot load image. Invalid or unexpected PSP image format.";
    EXPECT_EQ(load_error(readers::psp_graphic_class(), file(3, 2, {})), invalid);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), file(16384, 16384, {})), invalid);
    const Bytes hidden = p.layer({0, 0, 3, 2, 255, false}, flat_channels(p, 3, 2, {1, 2, 3}), 3);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), file(3, 2, hidden)), invalid);
    const Bytes small = p.layer({0, 0, 40, 40}, flat_channels(p, 40, 40, {1, 2, 3}), 3);
    EXPECT_NE(load_error(readers::psp_graphic_class(), file(4096, 4096, small))
                  .find("larger than the file can hold"),
              std::string::npos);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), file(2048, 2048, small)), "");
}

TEST(PspReader, RefusalsUseTheFamilysMessages) {
    const PspBuilder p{4};
    const auto with_image = [&](unsigned compression, unsigned depth) {
        Bytes body;
        body.raw(p.image(3, 2, compression, depth, false).b);
        return p.file(body);
    };
    EXPECT_EQ(load_error(readers::psp_graphic_class(), with_image(kNone, 16)),
              "Invalid color format in PSP file.");
    EXPECT_EQ(load_error(readers::psp_graphic_class(), with_image(kJpeg, 24)),
              "Cannot load image. The compression scheme is not supported for PSP files.");
    Bytes broken;
    broken.raw(p.image(3, 2, kLz77, 24, false).b)
        .raw(p.layer_bank(3, 2, p.channel(1, {1, 2, 3, 4, 5}, 8), 1).b);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), p.file(broken)),
              "LZ77 decompression error.");
    std::vector<uint8_t> old = with_image(kNone, 24);
    old[32] = 2;
    EXPECT_EQ(load_error(readers::psp_graphic_class(), old),
              "Cannot load image. Invalid or unexpected PSP image format.");
    std::vector<uint8_t> cut = with_image(kNone, 24);
    cut.resize(cut.size() - 3);
    EXPECT_EQ(load_error(readers::psp_graphic_class(), cut), "Stream read error in PSP file.");
}

}  // namespace
}  // namespace quorvel::readers_test
