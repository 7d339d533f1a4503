// Formats no tool here writes (RLA, CUT with its .pal, Autodesk PIC/CEL), and corners of the
// others the tools do not reach (16-bit Targa, right-to-left rows, EGA bit planes, runs
// across rows, short data): small files built from the formats' descriptions.
#include "readers/registry.h"
#include "readers/reader_classes.h"
#include "handmade_files.h"
#include "reader_test_support.h"
#include "toolkit/picture.h"

namespace quorvel::readers_test {
namespace {

using Rgb = std::array<int, 3>;

void expect_row(const Picture& p, int y, const std::vector<Rgb>& colours) {
    ASSERT_EQ(p.width, static_cast<int>(colours.size()));
    for (int x = 0; x < p.width; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(p.at(x, y, c), colours[x][c]) << "pixel " << x << "," << y;
}

// RLA: 740-byte header with the active window, channel counts, gamma and channel space.
TEST(RlaReader, ChannelsRunLengthCodedBottomUpWithMatte) {
    const Bytes b = rla_sample();
    auto g = load(readers::rla_graphic_class(), b.b);
    const Picture p = bitmap_picture(dynamic_cast<toolkit::Bitmap&>(*g), true);
    expect_row(p, 1, {{10, 1, 7}, {10, 2, 8}, {10, 3, 9}});
    expect_row(p, 0, {{50, 60, 70}, {50, 60, 70}, {50, 60, 70}});
    EXPECT_EQ(p.at(0, 0, 3), 0);
    EXPECT_EQ(p.at(2, 0, 3), 255);
    EXPECT_EQ(p.at(1, 1, 3), 255);
    auto& reader = dynamic_cast<readers::TGraphicExGraphic&>(*g);
    EXPECT_FLOAT_EQ(reader.image_info().gamma, 2.2f);
}

TEST(RlaReader, RefusesXyzAndOffsetsPastTheEnd) {
    Bytes xyz = rla_header(1, 1, 3, 0, "xyz");
    xyz.be32(744).be16(2).u8(0).u8(1).be16(2).u8(0).u8(1).be16(2).u8(0).u8(1);
    EXPECT_EQ(load_error(readers::rla_graphic_class(), xyz.b), "Invalid color format in RLA file.");
    Bytes far = rla_header(1, 1, 3, 0, "rgb");
    far.be32(100000);
    EXPECT_EQ(load_error(readers::rla_graphic_class(), far.b), "Stream read error in RLA file.");
}

TEST(RlaReader, ImageInfoFromTheHeaderAndUnsupportedDepth) {
    const struct {
        Bytes header;
        bool known;
        readers::ColorModel model;
        int samples;
    } rows[] = {
        {rla_header(3, 2, 3, 1, "rgb"), true, readers::cmRGBA, 4},
        {rla_header(3, 2, 3, 0, ""), true, readers::cmRGB, 3},
        {rla_header(3, 2, 1, 1, "rgb"), true, readers::cmGray, 1},  // a matte only beside colour
        {rla_header(3, 2, 3, 0, "xyz"), true, readers::cmNone, 3},
        {rla_header(3, 2, 0, 1, "rgb"), false},  // no colour channel
        {rla_header(0, 2, 3, 0, "rgb"), false},  // an empty window
        {rla_header(3, 0, 3, 0, "rgb"), false},
        {Bytes{}.fill(739, 0), false},  // shorter than the header
    };
    for (const auto& row : rows) {
        auto g = readers::rla_graphic_class().make();
        auto& reader = dynamic_cast<readers::TGraphicExGraphic&>(*g);
        toolkit::Stream stream(row.header.b);
        ASSERT_EQ(reader.read_image_info(stream, 0), row.known) << row.samples;
        if (!row.known) continue;
        const auto& info = reader.image_info();
        EXPECT_EQ(info.width, 3);
        EXPECT_EQ(info.height, 2);
        EXPECT_EQ(info.color_model, row.model);
        EXPECT_EQ(info.samples, row.samples);
        EXPECT_EQ(info.pixel_bits, 8 * row.samples);
        EXPECT_FLOAT_EQ(info.gamma, 2.2f);
    }
    Bytes deep = rla_sample();
    deep.b[659] = 16;  // channel bits
    EXPECT_EQ(load_error(readers::rla_graphic_class(), deep.b),
              "Cannot load image. 16-bit channels not supported for RLA files.");
}

TEST(CutReader, PaletteFromTheSiblingFileOrAGrayRamp) {
    testing::TempDir dir;
    readers::file_format_list();
    // The palette is found whatever the case of either name.
    const std::pair<const char*, const char*> names[] = {
        {"pic.pal", "pic.cut"}, {"C3.PAL", "C3.CUT"}, {"c4.pal", "C4.CUT"}, {"C5.Pal", "c5.cut"}};
    const auto c = [](int i) { return Rgb{i * 10 * 255 / 63, 255, (63 - i * 10) * 255 / 63}; };
    for (const auto& [palette, picture] : names) {
        SCOPED_TRACE(picture);
        testing::write_file(dir.file(palette), halo_palette().b);
        toolkit::Picture with_palette;
        with_palette.load_from_memory(dir.file(picture), cut_file().b);
        const Picture p =
            bitmap_picture(dynamic_cast<toolkit::Bitmap&>(*with_palette.graphic()), false);
        expect_row(p, 0, {c(1), c(1), c(1), c(2)});
        expect_row(p, 1, {c(3), c(4), c(5), c(5)});
    }

    toolkit::Picture gray;
    gray.load_from_memory(dir.file("alone.cut"), cut_file().b);
    const Picture q = bitmap_picture(dynamic_cast<toolkit::Bitmap&>(*gray.graphic()), false);
    expect_row(q, 1, {{3, 3, 3}, {4, 4, 4}, {5, 5, 5}, {5, 5, 5}});

    testing::write_file(dir.file("bad.pal"), {'A', 'H', 0});
    toolkit::Picture bad;
    EXPECT_THROW(bad.load_from_memory(dir.file("bad.cut"), cut_file().b), toolkit::EInvalidGraphic);
}

TEST(AutodeskReader, PaletteTimesFourAndRawRowsTopDown) {
    Bytes b = autodesk_sample();
    const Picture p = load_picture(readers::autodesk_graphic_class(), b.b);
    expect_row(p, 0, {{252, 0, 40}, {4, 8, 12}, {252, 0, 40}});
    expect_row(p, 1, {{4, 8, 12}, {4, 8, 12}, {252, 0, 40}});
    // A size far beyond the rows left in the file is refused before anything is allocated.
    b.b[2] = b.b[4] = 0xA0, b.b[3] = b.b[5] = 0x0F;
    EXPECT_EQ(load_error(readers::autodesk_graphic_class(), b.b)
                  .rfind("Cannot load image. The image size 4000 x 4000", 0),
              0u);
    b.b[0] = 0x18;
    EXPECT_EQ(load_error(readers::autodesk_graphic_class(), b.b),
              "Cannot load image. Invalid or unexpected Autodesk image format.");
}

Bytes targa_header(int type, int map_length, int map_bits, int width, int height, int bits,
                   int descriptor) {
    Bytes b;
    b.u8(2).u8(map_length ? 1 : 0).u8(type).le16(0).le16(map_length).u8(map_bits);
    b.le16(0).le16(0).le16(width).le16(height).u8(bits).u8(descriptor);
    return b.text("ID");
}

TEST(TargaReader, SixteenBitsRunsAcrossRowsAndMirroredRows) {
    // 2 x 2 5-5-5 run-length, one run covering the bottom row and the first top pixel.
    Bytes b = targa_header(10, 0, 0, 2, 2, 16, 0);
    b.u8(0x82).le16(31 << 10).u8(0x00).le16(31);
    Picture p = load_picture(readers::targa_graphic_class(), b.b);
    expect_row(p, 1, {{248, 0, 0}, {248, 0, 0}});
    expect_row(p, 0, {{248, 0, 0}, {0, 0, 248}});
    // Colour-mapped with a 24-bit map, top-left origin and right-to-left rows.
    Bytes m = targa_header(1, 2, 24, 2, 1, 8, 0x30);
    m.u8(1).u8(2).u8(3).u8(4).u8(5).u8(6).u8(0).u8(1);
    p = load_picture(readers::targa_graphic_class(), m.b);
    expect_row(p, 0, {{6, 5, 4}, {3, 2, 1}});
    m.b.resize(m.size() - 7);  // into the colour map
    EXPECT_EQ(load_error(readers::targa_graphic_class(), m.b), "Stream read error in Targa file.");
    b.b.resize(b.size() - 1);  // a run-length packet without its pixel
    EXPECT_EQ(load_error(readers::targa_graphic_class(), b.b), "Stream read error in Targa file.");
}

TEST(PcxReader, EgaBitPlanesAndRunsAcrossLines) {
    Bytes b;
    b.u8(10).u8(5).u8(1).u8(1).le16(0).le16(0).le16(7).le16(1).le16(72).le16(72);
    for (int i = 0; i < 16; ++i) b.u8(i * 16).u8(i).u8(255 - i * 16);
    b.u8(0).u8(4).le16(1).le16(1).fill(128 - 70, 0);
    // Line 0: planes 0x0F, 0xF0, 0xFF, 0x00; line 1 all 0xAA, its run starting in line 0's last
    // plane.
    b.u8(0x0F).u8(0xC1).u8(0xF0).u8(0xC1).u8(0xFF).u8(0xC5).u8(0xAA);
    const Picture p = load_picture(readers::pcx_graphic_class(), b.b);
    const auto e = [](int i) { return Rgb{i * 16, i, 255 - i * 16}; };
    expect_row(p, 0, {e(14), e(6), e(14), e(6), e(13), e(5), e(13), e(5)});
    expect_row(p, 1, {e(15), e(0), e(15), e(0), e(15), e(0), e(15), e(0)});

    // Two bits in one plane, raw, with bytes per line beyond what the pixels take.
    Bytes cga;
    cga.u8(10).u8(5).u8(0).u8(2).le16(0).le16(0).le16(4).le16(0).le16(72).le16(72);
    for (int i = 0; i < 16; ++i) cga.u8(i * 16).u8(i).u8(255 - i * 16);
    cga.u8(0).u8(1).le16(4).le16(1).fill(128 - 70, 0);
    cga.u8(0x1B).u8(0xC0).u8(0xFF).u8(0xFF);  // indexes 0 1 2 3 3, then padding
    const Picture q = load_picture(readers::pcx_graphic_class(), cga.b);
    expect_row(q, 0, {e(0), e(1), e(2), e(3), e(3)});
}

// Two-colour images: the header's first two entries, unless they are unset (palette
// information 0, or both entries alike), as the container's reader reads them.
TEST(PcxReader, TwoColourPaletteFromTheHeaderWhenSet) {
    struct Case {
        uint16_t palette_info;
        Rgb first, second, zero, one;
    } cases[] = {
        {1, {153, 153, 153}, {0, 0, 0}, {153, 153, 153}, {0, 0, 0}},
        {0, {153, 153, 153}, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}},
        {1, {7, 7, 7}, {7, 7, 7}, {0, 0, 0}, {255, 255, 255}},
    };
    for (const Case& c : cases) {
        Bytes b;
        b.u8(10).u8(5).u8(1).u8(1).le16(0).le16(0).le16(1).le16(0).le16(72).le16(72);
        for (const Rgb& e : {c.first, c.second}) b.u8(e[0]).u8(e[1]).u8(e[2]);
        b.fill(42, 0).u8(0).u8(1).le16(2).le16(c.palette_info).fill(128 - 70, 0);
        b.u8(0x40).u8(0);  // pixels 0 then 1
        const Picture p = load_picture(readers::pcx_graphic_class(), b.b);
        expect_row(p, 0, {c.zero, c.one});
    }
}

}  // namespace
}  // namespace quorvel::readers_test

namespace quorvel::readers_test {
namespace {

TEST(ReaderProgress, StartOneNotificationPerRowAndEnd) {
    struct Case {
        const toolkit::GraphicClass& (*cls)();
        std::vector<uint8_t> bytes;
        const char* text;
        int rows;
    };
    const std::vector<Case> cases = {
        {readers::autodesk_graphic_class, autodesk_sample().b, "Transfering...", 2},
        {readers::rla_graphic_class, rla_sample().b, "Loading data...", 2},
        {readers::cut_graphic_class, cut_file().b, "Loading data...", 2},
    };
    for (const Case& c : cases) {
        std::unique_ptr<toolkit::Graphic> g = c.cls().make();
        std::vector<toolkit::ProgressEvent> events;
        g->on_progress = [&](const toolkit::ProgressEvent& e) { events.push_back(e); };
        toolkit::Stream s(c.bytes);
        g->LoadFromStream(s);
        ASSERT_EQ(events.size(), static_cast<size_t>(c.rows + 2));
        EXPECT_EQ(events.front().stage, toolkit::ProgressStage::Starting);
        EXPECT_EQ(events.front().text, c.text);
        EXPECT_EQ(events[1].percent, 50);
        EXPECT_EQ(events[c.rows].percent, 100);
        EXPECT_EQ(events.back().stage, toolkit::ProgressStage::Ending);
    }
}

}  // namespace
}  // namespace quorvel::readers_test
