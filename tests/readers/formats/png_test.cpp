// PNG files of every colour type and depth from ImageMagick and Pillow, interlaced and with
// transparency, compared with Pillow's decoding; gamma and damaged chunks checked on files
// changed by hand.
#include <cmath>
#include <zlib.h>

#include "raster/codecs/codecs.h"
#include "readers/reader_classes.h"
#include "reader_test_support.h"
#include "support/allocation_failure.h"
#include "support/image_record.h"

namespace quorvel::readers_test {
namespace {

using codec_test::pillow_save;
using codec_test::Sources;

TEST(PngReader, EveryColourTypeAndDepth) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string im = "convert \"$IN\" ";
    check_tool_files(
        dir,
        {
            {"gray 1-bit", im + "-depth 1 -define png:color-type=0 png:\"$OUT\"", src.two,
             Decoder::Pillow},
            {"gray 2-bit", im + "-depth 2 -define png:color-type=0 png:\"$OUT\"", src.gray,
             Decoder::Pillow},
            {"gray 4-bit", im + "-depth 4 -define png:color-type=0 png:\"$OUT\"", src.gray,
             Decoder::Pillow},
            {"gray 8-bit", im + "-define png:color-type=0 png:\"$OUT\"", src.gray, Decoder::Pillow},
            {"gray 16-bit", im + "-depth 16 -define png:color-type=0 png:\"$OUT\"", src.gray,
             Decoder::Pillow},
            {"gray interlaced", im + "-interlace PNG -define png:color-type=0 png:\"$OUT\"",
             src.gray, Decoder::Pillow},
            {"rgb 8-bit", im + "png24:\"$OUT\"", src.rgb, Decoder::Pillow},
            {"rgb 16-bit", im + "-depth 16 png48:\"$OUT\"", src.rgb, Decoder::Pillow},
            {"rgb interlaced", im + "-interlace PNG png24:\"$OUT\"", src.rgb, Decoder::Pillow},
            {"palette", im + "png8:\"$OUT\"", src.few, Decoder::Pillow},
            {"rgba", im + "png32:\"$OUT\"", src.rgba, Decoder::Pillow, true},
            {"rgba 16-bit interlaced", im + "-depth 16 -interlace PNG png64:\"$OUT\"", src.rgba,
             Decoder::Pillow, true},
            {"gray alpha", im + "-colorspace Gray -define png:color-type=4 png:\"$OUT\"", src.rgba,
             Decoder::Pillow, true},
            {"rgb with tRNS", im + "-transparent \"rgb(0,85,170)\" png24:\"$OUT\"", src.few,
             Decoder::Pillow, true},
            {"pillow palette 4-bit", pillow_save("P", ", bits=4", 16), src.rgb, Decoder::Pillow},
            {"pillow palette tRNS", pillow_save("P", ", transparency=1", 16), src.rgb,
             Decoder::Pillow, true},
            {"pillow gray tRNS", pillow_save("L", ", transparency=40"), src.gray, Decoder::Pillow,
             true},
            {"pillow gray alpha", pillow_save("LA", ""), src.rgbaPng, Decoder::Pillow, true},
        },
        readers::png_graphic_class(), "png");
}

// Chunk helpers for files changed by hand.
uint32_t be32_at(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

std::vector<uint8_t> chunk(const char* type, const std::vector<uint8_t>& data) {
    Bytes b;
    b.be32(static_cast<uint32_t>(data.size())).text(type).raw(data);
    const uLong crc = crc32(0, b.b.data() + 4, static_cast<uInt>(b.b.size() - 4));
    return b.be32(static_cast<uint32_t>(crc)).b;
}

// The file with `extra` inserted right after IHDR.
std::vector<uint8_t> with_chunk_after_header(std::vector<uint8_t> png,
                                             const std::vector<uint8_t>& extra) {
    const size_t after = 8 + 12 + be32_at(png, 8);
    png.insert(png.begin() + static_cast<long>(after), extra.begin(), extra.end());
    return png;
}

TEST(PngReader, FileGammaGoesThroughTheColourManager) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string file = dir.file("g.png");
    ASSERT_EQ(testing::run(
                  "convert " + sh_quote(src.gray) +
                  " -define png:color-type=0 -define png:exclude-chunk=gAMA,cHRM,sRGB,bKGD png:" +
                  sh_quote(file)),
              0);
    const std::vector<uint8_t> linear =
        with_chunk_after_header(testing::read_file(file), chunk("gAMA", {0, 1, 0x86, 0xA0}));
    const Picture got = load_picture(readers::png_graphic_class(), linear);
    const Picture source = testing::read_pnm(src.gray);
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < source.width; ++x) {
            const auto expected =
                std::lround(255.0 * std::pow(source.at(x, y, 0) / 255.0, 1 / 2.2));
            ASSERT_EQ(got.at(x, y, 0), expected) << x << "," << y;
        }
}

// Indexes past the palette's entries show black, as libpng gives them (bit depths 8 and 4).
TEST(PngReader, IndexesPastThePaletteAreBlack) {
    for (const uint8_t depth : {8, 4}) {
        SCOPED_TRACE(int(depth));
        const std::vector<uint8_t> row =
            depth == 8 ? std::vector<uint8_t>{0, 0, 1, 6} : std::vector<uint8_t>{0, 0x01, 0x60};
        std::vector<uint8_t> packed(compressBound(uLong(row.size())));
        uLongf size = uLongf(packed.size());
        ASSERT_EQ(compress(packed.data(), &size, row.data(), uLong(row.size())), Z_OK);
        packed.resize(size);
        Bytes png;
        png.raw({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
        png.raw(chunk("IHDR", {0, 0, 0, 3, 0, 0, 0, 1, depth, 3, 0, 0, 0}));
        png.raw(chunk("PLTE", {10, 20, 30, 40, 50, 60}));
        png.raw(chunk("IDAT", packed)).raw(chunk("IEND", {}));
        const Picture p = load_picture(readers::png_graphic_class(), png.b);
        const int red[3] = {10, 40, 0};
        for (int x = 0; x < 3; ++x) EXPECT_EQ(p.at(x, 0, 0), red[x]) << x;
    }
}

TEST(PngReader, DamagedFilesFailWithTheFamilysMessages) {
    testing::TempDir dir;
    const Sources src(dir);
    const std::string file = dir.file("d.png");
    ASSERT_EQ(testing::run("convert " + sh_quote(src.rgb) + " png24:" + sh_quote(file)), 0);
    const std::vector<uint8_t> good = testing::read_file(file);
    std::vector<uint8_t> bad_crc = good;
    bad_crc[8 + 8 + 12] ^= 0x01;  // a byte of IHDR's data
    std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    std::vector<uint8_t> not_png = good;
    not_png[1] = 'Q';
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {bad_crc, "Cannot load image. CRC error found in PNG file."},
        {with_chunk_after_header(good, chunk("QXYZ", {1, 2, 3})),
         "Cannot load PNG image. Unexpected but critical chunk detected."},
        {truncated, "Stream read error in PNG file."},
        {not_png, "Cannot load image. Invalid or unexpected PNG image format."},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(load_error(readers::png_graphic_class(), bytes), message);
    // An ancillary chunk libpng does not know is skipped.
    EXPECT_EQ(
        load_error(readers::png_graphic_class(), with_chunk_after_header(good, chunk("qxYz", {1}))),
        "");
}

// A 2 x 2 PNG by hand: IHDR, the chunks given, IDAT of `rows` (filter bytes included) deflated,
// then the raw IDAT bytes `tail` appended to the deflated ones, and IEND.
std::vector<uint8_t> handmade_png(uint8_t colour_type, const std::vector<uint8_t>& rows,
                                  const std::vector<uint8_t>& before_data = {},
                                  const std::vector<uint8_t>& tail = {}) {
    std::vector<uint8_t> z(compressBound(static_cast<uLong>(rows.size())));
    uLongf z_size = static_cast<uLongf>(z.size());
    EXPECT_EQ(compress(z.data(), &z_size, rows.data(), static_cast<uLong>(rows.size())), Z_OK);
    z.resize(z_size);
    z.insert(z.end(), tail.begin(), tail.end());
    Bytes b;
    b.raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})
        .raw(chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 2, 8, colour_type, 0, 0, 0}))
        .raw(before_data)
        .raw(chunk("IDAT", z))
        .raw(chunk("IEND", {}));
    return b.b;
}

TEST(PngReader, DamagedDataAndPaletteFailWithTheirMessages) {
    const std::vector<uint8_t> gray = {0, 10, 20, 0, 30, 40};
    const std::vector<uint8_t> good = handmade_png(0, gray);
    const Picture pic = load_picture(readers::png_graphic_class(), good);
    EXPECT_EQ(pic.at(1, 0, 0), 20);
    EXPECT_EQ(pic.at(0, 1, 0), 30);
    std::vector<uint8_t> bad_zlib = good;
    bad_zlib[8 + 25 + 8] ^= 0x01;  // IDAT's first byte: the deflate header check fails
    const std::string compression = "Cannot load image. Compression error found in PNG file.";
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {handmade_png(0, {0, 1}), compression},  // rows short of the image
        {handmade_png(0, {5, 10, 20, 5, 30, 40}),
         "Cannot load image. Invalid or unexpected PNG image format."},  // filter type 5
        {bad_zlib, compression},
        {handmade_png(3, {0, 0, 1, 0, 1, 0}),
         "Cannot load image. Palette in PNG file is invalid."},  // no PLTE
        {handmade_png(3, {0, 0, 1, 0, 1, 0}, chunk("PLTE", {1, 2, 3, 4})),
         "Cannot load image. Palette in PNG file is invalid."},
        {handmade_png(7, gray), "Cannot load image. Invalid or unexpected PNG image format."},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(load_error(readers::png_graphic_class(), bytes), message) << message;
}

TEST(PngReader, ImageInfoWithoutDecoding) {
    std::vector<uint8_t> rgb = handmade_png(2, std::vector<uint8_t>(14, 7));
    rgb = with_chunk_after_header(rgb, chunk("gAMA", {0, 0, 0xB1, 0x8F}));  // 1 / 2.2
    auto g = readers::png_graphic_class().make();
    auto& reader = dynamic_cast<readers::TGraphicExGraphic&>(*g);
    toolkit::Stream stream(rgb);
    ASSERT_TRUE(reader.can_load_stream(stream));
    ASSERT_TRUE(reader.read_image_info(stream, 0));
    const auto& info = reader.image_info();
    EXPECT_EQ(info.width, 2);
    EXPECT_EQ(info.height, 2);
    EXPECT_EQ(info.sample_bits, 8);
    EXPECT_EQ(info.samples, 3);
    EXPECT_EQ(info.pixel_bits, 24);
    EXPECT_EQ(info.color_model, readers::cmRGB);
    EXPECT_EQ(info.compression, readers::ctLZ77);
    EXPECT_NEAR(info.gamma, 0.45455f, 1e-4f);
    std::vector<uint8_t> broken = rgb;
    broken[16] = 0xFF;  // a width beyond 2^31 (and IHDR's CRC no longer matches)
    toolkit::Stream bad_header(broken);
    EXPECT_FALSE(reader.read_image_info(bad_header, 0));
    broken[1] = 'Q';
    toolkit::Stream not_png(broken);
    EXPECT_FALSE(reader.can_load_stream(not_png));
    EXPECT_FALSE(reader.read_image_info(not_png, 0));
}

// A text chunk whose length field claims a gigabyte in a file of a hundred bytes: neither
// PNG reader lets libpng allocate what it claims.
TEST(PngChunks, AChunkLongerThanItsFileIsNotAllocated) {
    if (!testing::can_fail_allocations()) GTEST_SKIP() << "the sanitizer keeps its allocator";
    Bytes text;
    text.be32(1000000000).text("tEXt").text("date:modify");
    const std::vector<uint8_t> file = handmade_png(0, {0, 1, 2, 0, 3, 4}, text.b);
    testing::TempDir dir;
    const std::string path = dir.file("long_text.png");
    testing::write_file(path, file);

    testing::largest_allocation();
    load_error(readers::png_graphic_class(), file);
    EXPECT_LT(testing::largest_allocation(), size_t{1} << 20) << "extended reader";
    testing::ImageRecord record;
    raster::ReadPngFile(path.c_str(), &record.img);
    EXPECT_LT(testing::largest_allocation(), size_t{1} << 20) << "container";
}

}  // namespace
}  // namespace quorvel::readers_test
