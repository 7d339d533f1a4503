// Icons, JPEG images and metafiles through CreateBMPFromFile: files ImageMagick and Pillow
// write, compared with those tools' decoding, and metafiles built record by record.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "raster/codecs/codecs.h"
#include "support/load_save_support.h"

namespace quorvel::testing {
namespace {

const char kPython[] = "/usr/bin/python3 -c \"import sys; from PIL import Image; ";

struct IconCase {
    const char* name;
    std::string command;  // SRC -> OUT.ico
    int frame;            // the entry expected: the largest, then the deepest
    int width, height;
    int tolerance;
};

const IconCase kIcons[] = {
    {"BMP entries 48 16 32", "convert SRC -define icon:auto-resize=48,16,32 OUT", 0, 48, 48, 0},
    {"4-bit entry", "convert SRC -resize 32x32! -colors 12 -type palette OUT", 0, 32, 32, 0},
    {"PNG entry 256 (16-bit samples)", "convert SRC -resize 256x256! OUT", 0, 256, 256, 1},
    {"Pillow PNG entries",
     std::string(kPython) + "Image.open(sys.argv[1]).resize((40, 40)).save(sys.argv[2], "
                            "sizes=[(16, 16), (40, 40)])\" SRC OUT",
     1, 40, 40, 0},
    {"Pillow BMP entries",
     std::string(kPython) + "Image.open(sys.argv[1]).convert('RGBA').resize((24, 24))"
                            ".save(sys.argv[2], sizes=[(24, 24), (16, 16)], "
                            "bitmap_format='bmp')\" SRC OUT",
     1, 24, 24, 0},
};

class Icons : public ::testing::TestWithParam<IconCase> {};

TEST_P(Icons, GiveTheLargestDeepestEntryWithTheToolsPixels) {
    const IconCase& c = GetParam();
    TempDir dir;
    write_pnm(dir.file("src.ppm"), colour_pattern(37, 23));
    ASSERT_EQ(run(with_paths(c.command, dir.file("src.ppm"), dir.file("x.ico"))), 0) << c.command;
    const Picture loaded = handle_picture(load(dir.file("x.ico")));
    ASSERT_EQ(loaded.width, c.width);
    ASSERT_EQ(loaded.height, c.height);
    const Picture expected = magick_rgb(dir.file("x.ico"), c.frame);
    ASSERT_EQ(expected.width, c.width)
        << "frame " << c.frame << " is not the entry this case means";
    EXPECT_LE(max_difference(loaded, expected), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Tools, Icons, ::testing::ValuesIn(kIcons), [](const auto& info) {
    std::string name;
    for (char c : std::string(info.param.name))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
});

// Transparent pixels (alpha 0, or a set AND-mask bit) come out white.
TEST(Icons, TransparentPixelsAreWhiteAndA16By16IconGives16By16) {
    TempDir dir;
    ASSERT_EQ(run("convert -size 16x16 xc:none -fill red -draw 'rectangle 0,0 7,15' " +
                  quoted(dir.file("a.ico"))),
              0);
    // A 1-bit entry built by hand: colour index 1 (blue) everywhere, the right half masked.
    std::vector<uint8_t> ico = {0, 0, 1, 0, 1, 0, 16, 16, 2, 0, 1,
                                0, 1, 0, 0, 0, 0, 0,  22, 0, 0, 0};
    std::vector<uint8_t> dib(40, 0);
    dib[0] = 40, dib[4] = 16, dib[8] = 32, dib[12] = 1, dib[14] = 1;
    dib.insert(dib.end(), {0, 0, 0, 0, 255, 0, 0, 0});  // black, blue
    for (int y = 0; y < 16; ++y) dib.insert(dib.end(), {0xFF, 0xFF, 0, 0});
    for (int y = 0; y < 16; ++y) dib.insert(dib.end(), {0x00, 0xFF, 0, 0});
    const uint32_t size = uint32_t(dib.size());
    for (int i = 0; i < 4; ++i) ico[14 + i] = uint8_t(size >> (8 * i));
    ico.insert(ico.end(), dib.begin(), dib.end());
    write_file(dir.file("b.ico"), ico);
    const std::pair<const char*, std::array<int, 3>> cases[] = {{"a.ico", {255, 0, 0}},
                                                                {"b.ico", {0, 0, 255}}};
    for (const auto& [name, left] : cases) {
        const Picture p = handle_picture(load(dir.file(name)));
        ASSERT_EQ(p.width, 16) << name;
        ASSERT_EQ(p.height, 16) << name;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(p.at(3, 5, c), left[c]) << name;
            EXPECT_EQ(p.at(12, 5, c), 255) << name;
        }
    }
}

// Pillow's reading of an icon painted over white, as RGB.
Picture pillow_over_white(const std::string& path) {
    const std::string out = path + ".pil.ppm";
    EXPECT_EQ(run(std::string(kPython) +
                  "a = Image.open(sys.argv[1]).convert('RGBA'); "
                  "w = Image.new('RGBA', a.size, 'white'); w.alpha_composite(a); "
                  "w.convert('RGB').save(sys.argv[2])\" " +
                  quoted(path) + " " + quoted(out)),
              0);
    return normalised(read_pnm(out));
}

void put_le(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A one-entry icon of `bits` (1 or 24) with a version-5 header and an embedded colour profile
// between the colour rows and the AND mask, as files made from a BMP with a profile have it.
// Colours: a diagonal pattern; the mask clears the left quarter and the top rows.
std::vector<uint8_t> profiled_icon(int width, int height, int bits) {
    const uint32_t row = ((width * bits + 31) / 32) * 4, mask_row = ((width + 31) / 32) * 4;
    const uint32_t palette = bits == 1 ? 8 : 0, profile = 60;
    const uint32_t rows_end = 124 + palette + row * height;
    std::vector<uint8_t> dib;
    for (uint32_t v : {124u, uint32_t(width), uint32_t(2 * height)}) put_le(dib, v, 4);
    put_le(dib, 1, 2), put_le(dib, bits, 2);
    while (dib.size() < 56) dib.push_back(0);
    put_le(dib, 0x4D424544, 4);  // 'MBED'
    while (dib.size() < 112) dib.push_back(0);
    put_le(dib, rows_end, 4), put_le(dib, profile, 4), put_le(dib, 0, 4);
    if (bits == 1) dib.insert(dib.end(), {0, 0, 0, 0, 40, 160, 20, 0});
    for (int y = 0; y < height; ++y) {  // bottom row first
        std::vector<uint8_t> r(row, 0);
        for (int x = 0; x < width; ++x) {
            const bool on = (x + (height - 1 - y)) % 3 == 0;
            if (bits == 1 && on) r[x / 8] |= uint8_t(0x80 >> (x % 8));
            if (bits == 24)
                r[3 * x] = on ? 200 : 10, r[3 * x + 1] = uint8_t(x * 2),
                      r[3 * x + 2] = uint8_t(y * 3);
        }
        dib.insert(dib.end(), r.begin(), r.end());
    }
    dib.insert(dib.end(), profile, 0xA5);
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> m(mask_row, 0);
        for (int x = 0; x < width; ++x)
            if (x < width / 4 || height - 1 - y < 2) m[x / 8] |= uint8_t(0x80 >> (x % 8));
        dib.insert(dib.end(), m.begin(), m.end());
    }
    std::vector<uint8_t> ico = {
        0, 0, 1, 0, 1, 0, uint8_t(width), uint8_t(height), 0, 0, 1, 0, uint8_t(bits), 0};
    put_le(ico, uint32_t(dib.size()), 4), put_le(ico, 22, 4);
    ico.insert(ico.end(), dib.begin(), dib.end());
    return ico;
}

// The AND mask is the entry's last block whatever lies between it and the colour rows; rows
// are padded to 32 bits and stored bottom up, in the colour and the mask alike.
TEST(Icons, MaskedEntriesWithLongHeadersMatchPillow) {
    TempDir dir;
    // The bottom right pixel is opaque and drawn.
    const std::tuple<const char*, int, int, int, std::array<int, 3>> cases[] = {
        {"1-bit 16 x 16", 16, 16, 1, {20, 160, 40}},
        {"24-bit 127 x 64", 127, 64, 24, {0, 252, 200}}};
    for (const auto& [name, width, height, bits, corner] : cases) {
        const std::string path = dir.file("p.ico");
        write_file(path, profiled_icon(width, height, bits));
        const Picture loaded = handle_picture(load(path));
        EXPECT_EQ(max_difference(loaded, pillow_over_white(path)), 0) << name;
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(loaded.at(width - 1, height - 1, c), corner[c]) << name;
    }
}

TEST(Jpeg, EveryJpegExtensionLoadsWithTheToolsPixels) {
    TempDir dir;
    write_pnm(dir.file("src.ppm"), colour_pattern(61, 47));
    const std::pair<const char*, std::string> makers[] = {
        {"colour",
         "convert " + quoted(dir.file("src.ppm")) + " -quality 85 " + quoted(dir.file("x.jpg"))},
        {"gray", "convert " + quoted(dir.file("src.ppm")) + " -colorspace gray " +
                     quoted(dir.file("x.jpg"))},
        {"progressive", "convert " + quoted(dir.file("src.ppm")) + " -interlace JPEG " +
                            quoted(dir.file("x.jpg"))},
        {"Pillow 4:4:4", std::string(kPython) +
                             "Image.open(sys.argv[1]).save(sys.argv[2], subsampling=0)\" " +
                             quoted(dir.file("src.ppm")) + " " + quoted(dir.file("x.jpg"))},
    };
    for (const auto& [name, command] : makers) {
        ASSERT_EQ(run(command), 0) << name;
        const std::vector<uint8_t> bytes = read_file(dir.file("x.jpg"));
        const Picture expected = magick_rgb(dir.file("x.jpg"));
        for (const char* extension : {".jpg", ".JPEG", ".jpe", ".jfif"}) {
            write_file(dir.file(std::string("copy") + extension), bytes);
            const Picture loaded = handle_picture(load(dir.file(std::string("copy") + extension)));
            EXPECT_LE(max_difference(loaded, expected), 1) << name << " as " << extension;
        }
    }
}

// An 8 x 8 CMYK JPEG of one colour written by libjpeg, its inks stored plainly or, with an
// Adobe marker, inverted as Adobe's writers store them.
void write_cmyk_jpeg(const std::string& path, std::array<uint8_t, 4> inks, bool adobe) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = cinfo.image_height = 8;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row;
    for (int x = 0; x < 8; ++x)
        for (uint8_t ink : inks) row.push_back(adobe ? 255 - ink : ink);
    for (int y = 0; y < 8; ++y) {
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

// Both JPEG readers (the picture loader's and the container's) show plain and Adobe-inverted
// inks as the same light.
TEST(Jpeg, CmykInksArePlainUnlessAnAdobeMarkerSaysInverted) {
    TempDir dir;
    const std::array<int, 3> rgb = {191, 95, 0};  // no cyan, half magenta, full yellow, 1/4 black
    for (const bool adobe : {false, true}) {
        SCOPED_TRACE(adobe ? "Adobe" : "plain");
        const std::string path = dir.file("cmyk.jpg");
        write_cmyk_jpeg(path, {0, 128, 255, 64}, adobe);
        const Picture loaded = handle_picture(load(path));
        raster::BMGImage record;
        raster::ClearImageRecord(&record);
        ASSERT_EQ(raster::ReadJpegFile(path.c_str(), &record), raster::BMG_OK);
        ASSERT_EQ(record.bitsPerPixel, 24);
        const uint8_t* bgr = record.pixels + 3 * record.rowBytes + 3 * 3;  // a flat picture
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(loaded.at(3, 3, c), rgb[c], 2) << c;
            EXPECT_NEAR(bgr[2 - c], rgb[c], 2) << c;
        }
        raster::ReleaseImageRecord(&record);
    }
}

TEST(Jpeg, ACutFileFailsAndKeepsThePreviousImage) {
    TempDir dir;
    write_pnm(dir.file("src.ppm"), colour_pattern(64, 64));
    ASSERT_EQ(run("convert " + quoted(dir.file("src.ppm")) + " " + quoted(dir.file("x.jpg"))), 0);
    const HBITMAP previous = load(dir.file("x.jpg"));
    ASSERT_NE(previous, nullptr);
    std::vector<uint8_t> bytes = read_file(dir.file("x.jpg"));
    bytes.resize(bytes.size() / 2);
    write_file(dir.file("cut.jpe"), bytes);
    EXPECT_EQ(load(dir.file("cut.jpe")), nullptr);
    EXPECT_EQ(load(dir.file("none")), previous);
}

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
}
void put32(std::vector<uint8_t>& b, uint32_t v) { put16(b, v), put16(b, v >> 16); }

// A placeable metafile of 100 x 50 units at 96 units an inch with a red rectangle over its
// left half (no pen), built from the record layout of the WMF format.
std::vector<uint8_t> red_half_wmf() {
    std::vector<uint8_t> records;
    auto record = [&](uint16_t function, std::initializer_list<uint16_t> params) {
        put32(records, uint32_t(3 + params.size()));
        put16(records, function);
        for (uint16_t p : params) put16(records, p);
    };
    record(0x020B, {0, 0});                  // SETWINDOWORG y, x
    record(0x020C, {50, 100});               // SETWINDOWEXT y, x
    record(0x02FC, {0, 0x00FF, 0x0000, 0});  // CREATEBRUSHINDIRECT solid red
    record(0x012D, {0});                     // SELECTOBJECT brush
    record(0x02FA, {5, 0, 0, 0, 0});         // CREATEPENINDIRECT PS_NULL
    record(0x012D, {1});                     // SELECTOBJECT pen
    record(0x041B, {50, 50, 0, 0});          // RECTANGLE bottom, right, top, left
    record(0x0000, {});                      // EOF
    std::vector<uint8_t> out;
    const uint16_t placeable[10] = {0xCDD7, 0x9AC6, 0, 0, 0, 100, 50, 96, 0, 0};
    uint16_t checksum = 0;
    for (uint16_t w : placeable) put16(out, w), checksum ^= w;
    put16(out, checksum);
    put16(out, 1), put16(out, 9), put16(out, 0x300);
    put32(out, uint32_t((18 + records.size()) / 2));
    put16(out, 2), put32(out, 8), put16(out, 0);
    out.insert(out.end(), records.begin(), records.end());
    return out;
}

// An enhanced metafile framed 100 x 50 pixels at 96 dpi with a green rectangle over its left
// half, built from the record layout of the EMF format.
std::vector<uint8_t> green_half_emf() {
    std::vector<uint8_t> body;
    for (uint32_t v : {39u, 24u, 1u, 0u, 0x0000FF00u, 0u}) put32(body, v);  // CREATEBRUSHINDIRECT
    for (uint32_t v : {37u, 12u, 1u}) put32(body, v);                       // SELECTOBJECT brush
    for (uint32_t v : {37u, 12u, 0x80000008u}) put32(body, v);              // SELECTOBJECT NULL_PEN
    for (uint32_t v : {43u, 24u, 0u, 0u, 50u, 50u}) put32(body, v);         // RECTANGLE
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) put32(body, v);             // EOF
    std::vector<uint8_t> out;
    for (uint32_t v : {1u, 88u, 0u, 0u, 99u, 49u, 0u, 0u, 2646u, 1323u, 0x464D4520u, 0x10000u,
                       uint32_t(88 + body.size()), 6u})
        put32(out, v);
    put16(out, 2), put16(out, 0);
    for (uint32_t v : {0u, 0u, 0u, 1920u, 1080u, 508u, 286u}) put32(out, v);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(Metafiles, AreDrawnAtTheirHeaderSizeWithUnpaintedPartsWhite) {
    TempDir dir;
    write_file(dir.file("a.wmf"), red_half_wmf());
    write_file(dir.file("a.EMF"), green_half_emf());
    const std::pair<const char*, std::array<int, 3>> cases[] = {{"a.wmf", {255, 0, 0}},
                                                                {"a.EMF", {0, 255, 0}}};
    for (const auto& [name, colour] : cases) {
        const Picture p = handle_picture(load(dir.file(name)));
        ASSERT_EQ(p.width, 100) << name;
        ASSERT_EQ(p.height, 50) << name;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(p.at(10, 25, c), colour[c]) << name;
            EXPECT_EQ(p.at(90, 25, c), 255) << name;
        }
    }
}

TEST(Metafiles, WhatTheRenderersCannotReadFailsCleanly) {
    TempDir dir;
    std::vector<uint8_t> emf = green_half_emf();
    emf[32] = 0xFF, emf[33] = 0xFF, emf[34] = 0xFF, emf[35] = 0x7F;  // a frame 2^31 units wide
    // A header whose description runs far past its record (the converter would read it).
    std::vector<uint8_t> described = green_half_emf();
    described[60] = 0xE8, described[61] = 0x03, described[64] = 88;
    std::vector<uint8_t> unended = green_half_emf();
    unended.resize(unended.size() - 20);  // no end-of-file record
    std::vector<uint8_t> wmf = red_half_wmf();
    wmf.resize(30);
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"x.emf", emf}, {"d.emf", described}, {"u.emf", unended},
        {"y.wmf", wmf}, {"z.wmf", {1, 2, 3}}, {"w.emf", std::vector<uint8_t>(200, 0)}};
    for (const auto& [name, bytes] : cases) {
        write_file(dir.file(name), bytes);
        EXPECT_EQ(load(dir.file(name)), nullptr) << name;
    }
}

}  // namespace
}  // namespace quorvel::testing
