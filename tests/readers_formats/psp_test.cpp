// Paint Shop Pro files of file versions 3 and 4 built from the format's block description:
// a first raster layer in every compression the reader takes, palette and gray images, and
// the refusals.
#include <zlib.h>

#include "readers/reader_classes.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {

enum Compression { kNone = 0, kRle = 1, kLz77 = 2, kJpeg = 3 };

struct PspBuilder {
    unsigned major;

    // A block whose first chunk holds `fields` (measured as each version measures it),
    // followed by `rest`; banks have no chunk.
    Bytes block(unsigned id, const Bytes& fields, const Bytes& rest, bool chunked = true) const {
        Bytes b;
        b.text("~BK").u8(0).le16(id);
        const uint32_t chunk = static_cast<uint32_t>(fields.size()) + (major > 3 && chunked ? 4 : 0);
        if (major == 3) b.le32(static_cast<uint32_t>(fields.size()));
        b.le32(chunk + static_cast<uint32_t>(rest.size()));
        if (major > 3 && chunked) b.le32(chunk);
        return b.raw(fields.b).raw(rest.b);
    }
    Bytes image(int width, int height, unsigned compression, unsigned depth, bool grey) const {
        Bytes f;
        f.le32(width).le32(height);
        const double dpi = 40.0;
        uint8_t raw[8];
        std::memcpy(raw, &dpi, 8);
        for (uint8_t v : raw) f.u8(v);
        f.u8(2).le16(compression).le16(depth).le16(1).le32(depth == 24 ? 0 : 1u << depth).u8(grey).le32(0).le32(0).le16(1);
        if (major > 3) f.le32(1);
        return block(0, f, {});
    }
    Bytes palette(const std::vector<std::array<uint8_t, 3>>& rgb) const {
        Bytes f, rest;
        f.le32(static_cast<uint32_t>(rgb.size()));
        for (const auto& c : rgb) rest.u8(c[2]).u8(c[1]).u8(c[0]).u8(0);
        return block(2, f, rest);
    }
    Bytes channel(unsigned type, const std::vector<uint8_t>& packed, size_t unpacked) const {
        Bytes f, data;
        f.le32(static_cast<uint32_t>(packed.size())).le32(static_cast<uint32_t>(unpacked)).le16(0).le16(type);
        return block(5, f, data.raw(packed));
    }
    Bytes layer_bank(int width, int height, const Bytes& channels, unsigned count) const {
        Bytes f, rest;
        if (major == 3)
            f.text("Layer").fill(251, 0);
        else
            f.le16(5).text("Layer");
        f.u8(major == 3 ? 1 : 1);
        for (int i = 0; i < 2; ++i) f.le32(0).le32(0).le32(width).le32(height);
        f.fill(24, 0);
        Bytes bitmap_info;
        if (major > 3) bitmap_info.le32(8);
        bitmap_info.le16(1).le16(count);
        if (major == 3) f.raw(bitmap_info.b);
        else rest.raw(bitmap_info.b);
        rest.raw(channels.b);
        return block(3, {}, block(4, f, rest), false);
    }
    std::vector<uint8_t> file(const Bytes& body) const {
        Bytes b;
        b.text("Paint Shop Pro Image File\n").u8(0x1A).fill(5, 0).le16(major).le16(0);
        return b.raw(body.b).b;
    }
};

std::vector<uint8_t> compress(const std::vector<uint8_t>& plane, unsigned how) {
    if (how == kNone) return plane;
    if (how == kRle) {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < plane.size(); i += 4) {
            out.push_back(0x80 + 1);  // one repeat, then three literals: both kinds of code
            out.push_back(plane[i]);
            out.push_back(3);
            out.insert(out.end(), plane.begin() + static_cast<long>(i) + 1, plane.begin() + static_cast<long>(i) + 4);
        }
        return out;
    }
    uLongf size = compressBound(plane.size());
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, plane.data(), plane.size(), 9);
    out.resize(size);
    return out;
}

// 3 x 2 pixels; channel rows padded to 4 bytes.
const std::vector<uint8_t> kRed = {10, 20, 30, 0, 40, 50, 60, 0};
const std::vector<uint8_t> kGreen = {1, 2, 3, 0, 4, 5, 6, 0};
const std::vector<uint8_t> kBlue = {9, 9, 9, 0, 7, 7, 7, 0};

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
