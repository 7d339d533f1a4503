// The portable map reader against files netpbm and ImageMagick write (P1 to P6, comments,
// maximum values 15, 255 and 65535), and the header and data cases that catch real faults.
#include "readers/formats/ppm.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <ostream>
#include <vector>

#include "readers/registry.h"
#include "support/test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers {
namespace {

using quorvel::testing::TempDir;
using toolkit::PixelFormat;
using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Loads through the picture loader as the library does.
std::unique_ptr<toolkit::Picture> load(const std::string& name, Bytes bytes) {
    file_format_list();
    auto picture = std::make_unique<toolkit::Picture>();
    picture->load_from_memory(name, std::move(bytes));
    return picture;
}

toolkit::Bitmap& bitmap_of(const toolkit::Picture& picture) {
    return dynamic_cast<toolkit::Bitmap&>(*picture.graphic());
}

struct ToolCase {
    const char* name;
    const char* ext;
    const char* make;       // shell command writing the file to stdout ($G gray, $C colour)
    const char* reference;  // shell command writing an 8-bit raw netpbm file of the same pixels
    PixelFormat format;
};

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

class PpmFromTools : public ::testing::TestWithParam<ToolCase> {};

// Gray 13 x 7 (a width that is not a multiple of 8) and colour 13 x 7 pictures.
std::string sources(const TempDir& dir) {
    return "G=" + dir.file("g.pgm") + "; C=" + dir.file("c.ppm") + "; pgmramp -diag 13 7 >$G && " +
           "convert -size 13x7 gradient:yellow-navy -depth 8 ppm:$C; ";
}

TEST_P(PpmFromTools, PixelsMatchTheToolsDecoding) {
    const ToolCase& c = GetParam();
    if (!quorvel::testing::have_tool("pgmramp") || !quorvel::testing::have_tool("convert"))
        GTEST_SKIP() << "netpbm or ImageMagick missing";
    TempDir dir;
    const std::string file = dir.file(std::string("x.") + c.ext), ref = dir.file("ref.pnm");
    ASSERT_EQ(quorvel::testing::run(sources(dir) + c.make + " >" + file + " && " + c.reference +
                                    " >" + ref),
              0);
    auto picture = load(file, quorvel::testing::read_file(file));
    toolkit::Bitmap& bitmap = bitmap_of(*picture);
    EXPECT_EQ(bitmap.pixel_format(), c.format);
    const auto expected = quorvel::testing::read_pnm(ref);
    ASSERT_EQ(bitmap.width(), expected.width);
    ASSERT_EQ(bitmap.height(), expected.height);
    bitmap.set_pixel_format(PixelFormat::Bit24);
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(bitmap.scanline(y)[3 * x + 2 - ch],
                          expected.at(x, y, expected.channels == 3 ? ch : 0))
                    << "pixel " << x << "," << y << " channel " << ch;
}

INSTANTIATE_TEST_SUITE_P(
    Netpbm, PpmFromTools,
    ::testing::Values(
        ToolCase{"plain_pbm", "pbm", "pgmtopbm -threshold $G | pnmtopnm -plain",
                 "pgmtopbm -threshold $G", PixelFormat::Bit1},
        ToolCase{"raw_pbm", "pbm", "pgmtopbm -threshold $G", "pgmtopbm -threshold $G",
                 PixelFormat::Bit1},
        ToolCase{"plain_pgm", "pgm", "pnmtopnm -plain $G", "cat $G", PixelFormat::Bit8},
        ToolCase{"raw_pgm", "pgm", "cat $G", "cat $G", PixelFormat::Bit8},
        ToolCase{"plain_ppm", "ppm", "pnmtopnm -plain $C", "cat $C", PixelFormat::Bit24},
        ToolCase{"raw_ppm", "ppm", "cat $C", "cat $C", PixelFormat::Bit24},
        ToolCase{"comments", "ppm",
                 "{ head -c 3 $C; printf '# made 1 2\\n#  3\\n'; tail -c +4 $C; }", "cat $C",
                 PixelFormat::Bit24},
        ToolCase{"header_on_magic_line", "pgm", "{ printf 'P5 13 7 255\\n'; tail -c 91 $G; }",
                 "cat $G", PixelFormat::Bit8},
        ToolCase{"raw_pgm_65535", "pgm", "pnmdepth 65535 $G", "cat $G", PixelFormat::Bit8},
        ToolCase{"raw_ppm_65535", "ppm", "convert $C -depth 16 ppm:-", "cat $C",
                 PixelFormat::Bit24},
        ToolCase{"plain_ppm_65535", "ppm", "pnmdepth 65535 $C | pnmtopnm -plain", "cat $C",
                 PixelFormat::Bit24}),
    [](const auto& info) { return std::string(info.param.name); });

// Maximum value 15: the samples stay 0..15, as netpbm's plain form of the file spells them.
TEST(PpmReader, SmallMaximumValueKeepsRawSamples) {
    if (!quorvel::testing::have_tool("pnmdepth")) GTEST_SKIP() << "netpbm missing";
    TempDir dir;
    const std::string file = dir.file("x.pgm");
    ASSERT_EQ(quorvel::testing::run("pgmramp -lr 16 2 | pnmdepth 15 >" + file), 0);
    std::istringstream plain(quorvel::testing::run_output("pnmtopnm -plain " + file));
    std::string magic;
    int width, height, max_value;
    plain >> magic >> width >> height >> max_value;
    ASSERT_EQ(max_value, 15);
    auto picture = load(file, quorvel::testing::read_file(file));
    toolkit::Bitmap& bitmap = bitmap_of(*picture);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int value;
            plain >> value;
            EXPECT_EQ(bitmap.scanline(y)[x], value);
        }
    EXPECT_EQ(bitmap.palette()[15].rgbRed, 15);  // the palette is the 256-level ramp
}

struct HandCase {
    const char* name;
    const char* ext;
    std::string file;
    int width, height;
    Bytes top_row;  // the bitmap's first row bytes, as stored
};

void PrintTo(const HandCase& c, std::ostream* os) { *os << c.name; }

class PpmByHand : public ::testing::TestWithParam<HandCase> {};

TEST_P(PpmByHand, StoresTheRowsMeant) {
    const HandCase& c = GetParam();
    auto picture = load(std::string("x.") + c.ext, bytes_of(c.file));
    toolkit::Bitmap& bitmap = bitmap_of(*picture);
    ASSERT_EQ(bitmap.width(), c.width);
    ASSERT_EQ(bitmap.height(), c.height);
    EXPECT_EQ(Bytes(bitmap.scanline(0), bitmap.scanline(0) + c.top_row.size()), c.top_row);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpmByHand,
    ::testing::Values(
        HandCase{"comment_lines_with_digits",
                 "pgm",
                 "P2\n# first\n# second 7\n2 1\n255\n3 4\n",
                 2,
                 1,
                 {3, 4}},
        HandCase{"plain_bits_separated", "pbm", "P1\n3 1\n1 0 1\n", 3, 1, {0xA0}},
        HandCase{"plain_bits_run_together", "pbm", "P1\n3 2\n101\n011\n", 3, 2, {0xA0}},
        HandCase{"plain_bits_lowest_bit", "pbm", "P1 10 1 1111111111\n", 10, 1, {0xFF, 0xC0}},
        HandCase{"raw_red_pixel",
                 "ppm",
                 std::string("P6\n1 1\n255\n\xFF\x00\x00", 14),
                 1,
                 1,
                 {0, 0, 255}},
        HandCase{"header_on_magic_line",
                 "ppm",
                 std::string("P6 1 1 255\n\x01\x02\x03", 14),
                 1,
                 1,
                 {3, 2, 1}},
        HandCase{"max_value_15_unscaled", "pgm", "P5 2 1 15\n\x0F\x07", 2, 1, {15, 7}},
        HandCase{"wide_samples_high_byte",
                 "pgm",
                 std::string("P5 2 1 65535\n\xAB\xCD\x01\xFF", 17),
                 2,
                 1,
                 {0xAB, 0x01}},
        HandCase{"plain_wide_samples", "pgm", "P2 2 1 65535 43981 511", 2, 1, {0xAB, 0x01}},
        HandCase{"plain_without_final_newline", "ppm", "P3 1 1 255 10 20 30", 1, 1, {30, 20, 10}},
        HandCase{"raw_bits_padded", "pbm", std::string("P4 9 1\n\xAA\x80", 9), 9, 1, {0xAA, 0x80}},
        HandCase{"crlf_and_comment_after_magic",
                 "pgm",
                 "P2#note\r\n1 1\r\n255\r\n200\r\n",
                 1,
                 1,
                 {200}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PpmReader, BitmapsArePaletteWhiteThenBlack) {
    auto picture = load("x.pbm", bytes_of("P1\n3 1\n1 0 1\n"));
    const auto palette = bitmap_of(*picture).palette();
    ASSERT_GE(palette.size(), 2u);
    EXPECT_EQ(palette[0].rgbRed, 255);
    EXPECT_EQ(palette[1].rgbRed, 0);
}

TEST(PpmReader, OtherDigitsAndMapsWithoutPixelsLoadAnEmptyBitmap) {
    for (const char* file : {"P7\nWIDTH 2\n", "P6 0 0 255\n", "P5 0 3 255\n"})
        EXPECT_TRUE(load("x.ppm", bytes_of(file))->graphic()->empty()) << file;
}

void expect_failure(const std::string& file, const std::string& message) {
    try {
        load("x.ppm", bytes_of(file));
        ADD_FAILURE() << "loaded";
    } catch (const toolkit::EInvalidGraphic& e) {
        if (!message.empty()) EXPECT_EQ(e.what(), message);
    }
}

TEST(PpmReader, RefusesWhatTheFileCannotHold) {
    expect_failure("Q6 1 1 255\n",
                   "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    const std::string stream_error = "Stream read error in PPM file.";
    expect_failure("P6 4 4 255\n\x01\x02\x03", stream_error);
    expect_failure("P6 4 4 255\n" + std::string(24, '\x40'), stream_error);  // half the rows
    expect_failure("P5 100000 100000 255\nabc", stream_error);
    expect_failure("P4 4000000000 4000000000\n", "");
    expect_failure("P2 3 1 255 1 2", stream_error);
    expect_failure("P6 2", stream_error);
    expect_failure("", stream_error);
    EXPECT_THROW(load("x.ppm", bytes_of("PX 1 1\n")), toolkit::EConvertError);
    // A load that fails half-way holds no image.
    TPPMGraphic reader;
    const Bytes half = bytes_of("P6 4 4 255\n" + std::string(24, '\x40'));
    toolkit::Stream stream(half);
    EXPECT_THROW(reader.LoadFromStream(stream), toolkit::EInvalidGraphic);
    EXPECT_TRUE(reader.empty());
}

TEST(PpmReader, ImageInfoDescribesTheFile) {
    TPPMGraphic reader;
    const Bytes file = bytes_of("P6 7 5 65535\n");
    toolkit::Stream stream(file);
    ASSERT_TRUE(reader.read_image_info(stream, 0));
    EXPECT_EQ(reader.image_info().width, 7);
    EXPECT_EQ(reader.image_info().height, 5);
    EXPECT_EQ(reader.image_info().color_model, cmRGB);
    EXPECT_EQ(reader.image_info().sample_bits, 16);
    EXPECT_EQ(reader.image_info().compression, ctNone);
    const Bytes not_pnm = bytes_of("GIF89a");
    toolkit::Stream other(not_pnm);
    EXPECT_FALSE(reader.read_image_info(other, 0));
    // The sniff answers by the header and keeps the position; a header cut short answers false.
    toolkit::Stream sniffed(file);
    EXPECT_TRUE(reader.can_load_stream(sniffed));
    EXPECT_EQ(sniffed.position(), 0u);
    const Bytes cut = bytes_of("P6 2");
    toolkit::Stream short_header(cut);
    EXPECT_FALSE(reader.can_load_stream(short_header));
}

TEST(PpmReader, SendsProgressPerRow) {
    TPPMGraphic reader;
    std::vector<toolkit::ProgressEvent> events;
    reader.on_progress = [&](const toolkit::ProgressEvent& e) { events.push_back(e); };
    const Bytes file = bytes_of("P2 1 4 255 1 2 3 4\n");
    toolkit::Stream stream(file);
    reader.LoadFromStream(stream);
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].stage, toolkit::ProgressStage::Starting);
    EXPECT_EQ(events[0].text, "Transfering...");
    EXPECT_EQ(events[2].percent, 50);
    EXPECT_EQ(events[5].stage, toolkit::ProgressStage::Ending);
}

}  // namespace
}  // namespace quorvel::readers
