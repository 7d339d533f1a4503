// The quorvel tool run as a user runs it: exit status, what it writes, and what it prints.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "support/text_lines.h"
#include "tools/quorvel/tool_run.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace quorvel::testing {
namespace {

Picture ridges(int width, int height, uint32_t seed) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.channels = 1;
    picture.samples = ridge_pattern(width, height, seed);
    return picture;
}

// What the library itself makes of the same pixels.
std::vector<uint8_t> library_stream(const Picture& picture, float bitrate, int ppi,
                                    const char* comment) {
    wsq::DiagCapture quiet;
    unsigned char* data = nullptr;
    int length = 0;
    EXPECT_EQ(wsq::wsq_encode_1(&data, &length, bitrate, picture.samples.data(), picture.width,
                                picture.height, 8, ppi, comment),
              0);
    std::vector<uint8_t> stream(data, data + length);
    std::free(data);
    return stream;
}

TEST(Cli, EncodeWritesTheLibrarysStreamAndDecodeGivesTheImageBack) {
    TempDir dir;
    const Picture picture = ridges(300, 280, 5);
    write_pnm(dir.file("in.pgm"), picture);
    Result encoded = tool("encode '" + dir.file("in.pgm") + "' '" + dir.file("out.wsq") +
                          "' --bitrate 2.25 --ppi 1000 --comment 'left thumb'");
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    EXPECT_EQ(read_file(dir.file("out.wsq")), library_stream(picture, 2.25f, 1000, "left thumb"));

    Result decoded = tool("decode '" + dir.file("out.wsq") + "' '" + dir.file("back.pgm") + "'");
    ASSERT_EQ(decoded.status, 0) << decoded.output;
    EXPECT_NE(decoded.output.find("1000 ppi"), std::string::npos) << decoded.output;
    const Picture back = read_pnm(dir.file("back.pgm"));
    EXPECT_EQ(back.width, 300);
    EXPECT_EQ(back.height, 280);
    EXPECT_EQ(back.channels, 1);
    double squared = 0;
    for (size_t i = 0; i < back.samples.size(); ++i) {
        squared +=
            double(back.samples[i] - picture.samples[i]) * (back.samples[i] - picture.samples[i]);
    }
    EXPECT_LT(squared / back.samples.size(), 60.0);  // a lossy but faithful copy
}

TEST(Cli, EncodeDefaultsAreBitrate075AndPpi500WithoutAComment) {
    TempDir dir;
    const Picture picture = ridges(120, 100, 9);
    write_pnm(dir.file("in.pgm"), picture);
    ASSERT_EQ(tool("encode '" + dir.file("in.pgm") + "' '" + dir.file("out.wsq") + "'").status, 0);
    EXPECT_EQ(read_file(dir.file("out.wsq")), library_stream(picture, 0.75f, 500, nullptr));
}

TEST(Cli, PgmHeaderCommentsAreSkipped) {
    TempDir dir;
    const Picture picture = ridges(100, 90, 2);
    std::string bytes = "P5\n# made by a scanner\n100 # width\n90\n255\n";
    bytes.append(picture.samples.begin(), picture.samples.end());
    write_file(dir.file("in.pgm"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ASSERT_EQ(tool("encode '" + dir.file("in.pgm") + "' '" + dir.file("out.wsq") + "'").status, 0);
    EXPECT_EQ(read_file(dir.file("out.wsq")), library_stream(picture, 0.75f, 500, nullptr));
}

TEST(Cli, InfoListsSegmentsThatTileTheFile) {
    TempDir dir;
    write_pnm(dir.file("in.pgm"), ridges(545, 622, 4));
    ASSERT_EQ(
        tool("encode '" + dir.file("in.pgm") + "' '" + dir.file("f.wsq") + "' --comment hello")
            .status,
        0);
    Result info = tool("info '" + dir.file("f.wsq") + "'");
    ASSERT_EQ(info.status, 0) << info.output;
    // Each segment starts where the previous one ended (marker, length field and, after a
    // block header, the coded data); the last is EOI, two bytes before the end of the file.
    size_t expected_offset = 0, blocks = 0;
    std::string last;
    for (const std::string& line : lines(info.output)) {
        unsigned marker = 0;
        char name[8] = {};
        size_t offset = 0, length = 0, coded = 0;
        const int fields = std::sscanf(line.c_str(), " %4X %7s %zu %zu + %zu", &marker, name,
                                       &offset, &length, &coded);
        if (fields < 3 || (marker & 0xFF00) != 0xFF00) continue;
        EXPECT_EQ(offset, expected_offset) << line;
        expected_offset = offset + 2 + (fields >= 4 ? length : 0) + (fields == 5 ? coded : 0);
        blocks += std::string(name) == "SOB";
        last = name;
    }
    EXPECT_EQ(last, "EOI");
    EXPECT_EQ(expected_offset, read_file(dir.file("f.wsq")).size());
    EXPECT_EQ(blocks, 3u);
    EXPECT_NE(info.output.find("Frame: 545 x 622"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("PIX_HEIGHT           622"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Comments: 2"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("[2] hello"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Huffman tables used by the blocks: 0 "), std::string::npos)
        << info.output;
}

TEST(Cli, InfoRefusesWhatIsNotACompleteStream) {
    TempDir dir;
    write_pnm(dir.file("in.pgm"), ridges(100, 100, 1));
    ASSERT_EQ(tool("encode '" + dir.file("in.pgm") + "' '" + dir.file("f.wsq") + "'").status, 0);
    std::vector<uint8_t> stream = read_file(dir.file("f.wsq"));
    stream.resize(stream.size() / 2);
    write_file(dir.file("cut.wsq"), stream);
    Result cut = tool("info '" + dir.file("cut.wsq") + "'");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.output.find("Segments"), std::string::npos);  // what could be read is shown
    EXPECT_NE(cut.output.find("quorvel: "), std::string::npos);
    Result plain = tool("info '" + dir.file("in.pgm") + "'");
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.output.find("not a WSQ stream"), std::string::npos) << plain.output;
    EXPECT_EQ(tool("decode '" + dir.file("cut.wsq") + "' '" + dir.file("x.pgm") + "'").status, 1);
}

TEST(Cli, RoundtripReportsEveryFileAtBothDefaultBitrates) {
    TempDir dir;
    write_pnm(dir.file("a.pgm"), ridges(200, 180, 1));
    write_pnm(dir.file("b.pgm"), ridges(150, 150, 2));
    Result result = tool("roundtrip '" + dir.file("a.pgm") + "' '" + dir.file("missing.pgm") +
                         "' '" + dir.file("b.pgm") + "'");
    EXPECT_EQ(result.status, 1);  // one file failed, the others are still reported
    EXPECT_NE(result.output.find("missing.pgm: cannot open"), std::string::npos) << result.output;
    int rows = 0;
    for (const std::string& line : lines(result.output)) {
        char file[512] = {};
        double bitrate = 0, ratio = 0, psnr = 0;
        size_t bytes = 0;
        if (std::sscanf(line.c_str(), "%511s %lf %zu %lf %lf", file, &bitrate, &bytes, &ratio,
                        &psnr) != 5)
            continue;
        const int pixels =
            std::string(file).find("a.pgm") != std::string::npos ? 200 * 180 : 150 * 150;
        EXPECT_TRUE(bitrate == 0.75 || bitrate == 2.25) << line;
        EXPECT_NEAR(ratio, double(pixels) / bytes, 0.01) << line;
        EXPECT_GT(psnr, 20.0) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 4);
}

TEST(Cli, RoundtripTakesRepeatedBitrates) {
    TempDir dir;
    write_pnm(dir.file("a.pgm"), ridges(128, 128, 3));
    Result result = tool("roundtrip -b 0.5 --bitrate 1.5 --bitrate 3 '" + dir.file("a.pgm") + "'");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(lines(result.output).size(), 4u) << result.output;  // header and three rows
    EXPECT_NE(result.output.find(" 1.50 "), std::string::npos) << result.output;
}

TEST(Cli, FailuresSayWhatWentWrongAndExitNonZero) {
    TempDir dir;
    write_pnm(dir.file("small.pgm"), ridges(40, 40, 1));
    Picture rgb = ridges(100, 100, 1);
    rgb.channels = 3;
    rgb.samples.resize(100 * 100 * 3);
    write_pnm(dir.file("rgb.ppm"), rgb);
    // The PGM path reads what a .pgm name holds; colour data there is refused.
    write_file(dir.file("rgb.pgm"), read_file(dir.file("rgb.ppm")));
    write_file(dir.file("small.wsq"), read_file(dir.file("small.pgm")));
    write_file(dir.file("cut.pgm"),
               {'P', '5', '\n', '9', '9', ' ', '9', '9', '\n', '2', '5', '5', '\n', 1, 2, 3});
    write_file(dir.file("deep.pgm"),
               {'P', '5', ' ', '2', ' ', '1', ' ', '6', '5', '5', '3', '5', '\n', 0, 1, 0, 2});

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"encode '" + dir.file("none.pgm") + "' o.wsq", "cannot open"},
        {"encode '" + dir.file("small.pgm") + "' '" + dir.file("o.wsq") + "'", "image too small"},
        {"encode '" + dir.file("rgb.pgm") + "' '" + dir.file("o.wsq") + "'", "not a binary PGM"},
        {"encode '" + dir.file("cut.pgm") + "' '" + dir.file("o.wsq") + "'", "truncated"},
        {"encode '" + dir.file("deep.pgm") + "' '" + dir.file("o.wsq") + "'", "only 8-bit PGM"},
        {"encode '" + dir.file("small.pgm") + "' '" + dir.file("o.wsq") + "' --bitrate 0",
         "not in range"},
        {"encode '" + dir.file("small.pgm") + "' '" + dir.file("o.wsq") + "' --ppi x", "ppi"},
        {"decode '" + dir.file("small.wsq") + "' '" + dir.file("o.pgm") + "'", "decoding failed"},
        {"decode '" + dir.file("none.wsq") + "' '" + dir.file("o.pgm") + "'", "cannot open"},
        {"encode '" + dir.file("small.pgm") + "'", "OUT is required"},
        {"", "subcommand is required"},
    };
    for (const auto& [arguments, message] : cases) {
        Result result = tool(arguments);
        EXPECT_NE(result.status, 0) << arguments;
        EXPECT_NE(result.output.find(message), std::string::npos) << arguments << "\n"
                                                                  << result.output;
    }
}

TEST(Cli, DecodeReportsAnOutputThatCannotBeWritten) {
    TempDir dir;
    write_pnm(dir.file("in.pgm"), ridges(100, 100, 1));
    ASSERT_EQ(tool("encode '" + dir.file("in.pgm") + "' '" + dir.file("f.wsq") + "'").status, 0);
    Result result =
        tool("decode '" + dir.file("f.wsq") + "' '" + dir.file("no/such/dir/x.pgm") + "'");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("cannot create"), std::string::npos) << result.output;
}

TEST(Cli, HelpDescribesEachCommand) {
    Result overall = tool("--help");
    EXPECT_EQ(overall.status, 0);
    for (const char* command : {"encode", "decode", "info", "roundtrip"}) {
        EXPECT_NE(overall.output.find(command), std::string::npos) << command;
        Result own = tool(std::string(command) + " --help");
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_NE(own.output.find(std::string("quorvel ") + command), std::string::npos)
            << own.output;
    }
    EXPECT_NE(tool("encode --help").output.find("--bitrate"), std::string::npos);
}

TEST(Cli, BundledSamplesRoundTrip) {
    const std::string samples = QUORVEL_SAMPLES;
    Result result = tool("roundtrip '" + samples + "/ridges_300x300.pgm'");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(lines(result.output).size(), 3u) << result.output;
}

}  // namespace
}  // namespace quorvel::testing
