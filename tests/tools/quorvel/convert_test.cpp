// `quorvel convert`, `formats`, and `encode`/`decode` on formats other than PGM and WSQ, run
// as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "tools/quorvel/tool_run.h"

namespace quorvel::testing {
namespace {

size_t count_files(const TempDir& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

class Convert : public ::testing::Test {
protected:
    void SetUp() override {
        Picture ridges{130, 110, 1, ridge_pattern(130, 110, 4)};
        write_pnm(dir.file("src.pgm"), ridges);
        ASSERT_EQ(run("convert " + quoted(dir.file("src.pgm")) + " -type TrueColor " +
                      quoted(dir.file("in.png"))),
                  0);
    }
    std::string magick_pixels(const std::string& path) {
        return run_output("convert " + quoted(path) + " -depth 8 rgb:- | md5sum");
    }
    TempDir dir;
};

TEST_F(Convert, WritesEveryOutputTypeAndSaysWhatItWrote) {
    const std::string reference = magick_pixels(dir.file("in.png"));
    for (const char* extension : {".wsq", ".bmp", ".tif", ".png", ".jpg", ".tga", ".rgb"}) {
        const std::string out = dir.file(std::string("out") + extension);
        const Result r = tool("convert " + quoted(dir.file("in.png")) + " " + quoted(out));
        ASSERT_EQ(r.status, 0) << extension << ": " << r.output;
        EXPECT_EQ(r.output.find(out + ": 130 x 110, "), 0u) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        ASSERT_TRUE(std::filesystem::exists(out)) << extension;
        // WSQ and JPEG are lossy; the rest must give ImageMagick the same pixels.
        const std::string ext = extension;
        if (ext != ".wsq" && ext != ".jpg") {
            EXPECT_EQ(magick_pixels(out), reference) << extension;
        }
    }
}

TEST_F(Convert, OptionsReachTheWriters) {
    ASSERT_EQ(tool("convert " + quoted(dir.file("in.png")) + " " + quoted(dir.file("z.tif")) +
                   " --tiff-compression zip --predictor 1")
                  .status,
              0);
    const std::string tiff = run_output("tiffinfo " + quoted(dir.file("z.tif")));
    EXPECT_NE(tiff.find("AdobeDeflate"), std::string::npos) << tiff;
    ASSERT_EQ(tool("convert " + quoted(dir.file("in.png")) + " " + quoted(dir.file("m.tif")) +
                   " --tiff-compression packbits")
                  .status,
              0);
    const std::string packed = run_output("tiffinfo " + quoted(dir.file("m.tif")));
    EXPECT_NE(packed.find("PackBits"), std::string::npos) << packed;
    ASSERT_EQ(tool("convert " + quoted(dir.file("in.png")) + " " + quoted(dir.file("low.jpg")) +
                   " --quality 20")
                  .status,
              0);
    ASSERT_EQ(tool("convert " + quoted(dir.file("in.png")) + " " + quoted(dir.file("high.jpg")) +
                   " --quality 98")
                  .status,
              0);
    EXPECT_LT(read_file(dir.file("low.jpg")).size(), read_file(dir.file("high.jpg")).size());
    ASSERT_EQ(tool("convert " + quoted(dir.file("in.png")) + " " + quoted(dir.file("p.wsq")) +
                   " --bitrate 2.25 --ppi 1000 --comment 'left thumb'")
                  .status,
              0);
    const Result info = tool("info " + quoted(dir.file("p.wsq")));
    EXPECT_NE(info.output.find("left thumb"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("PPI                  1000"), std::string::npos) << info.output;
}

TEST_F(Convert, FailuresNameTheFileAndTheReasonAndWriteNothing) {
    write_file(dir.file("bad.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    write_file(dir.file("bad.bmp"), {'B', 'M', 1, 2, 3});
    ASSERT_EQ(run("convert -size 20x20 xc:gray50 " + quoted(dir.file("small.png"))), 0);
    write_file(dir.file("old.wsq"), {'o', 'l', 'd'});
    const std::string in = quoted(dir.file("in.png")), small = quoted(dir.file("small.png"));
    const std::pair<std::string, std::string> cases[] = {
        {"convert " + in + " " + quoted(dir.file("out.xyz")),
         "use one of .wsq, .bmp, .tif, .png, .jpg, .tga, .rgb"},
        {"convert " + in + " -", "'-' is not a file name"},
        {"convert - " + quoted(dir.file("out.png")), "'-' is not a file name"},
        {"convert " + quoted(dir.file("none.png")) + " " + quoted(dir.file("out.bmp")),
         dir.file("none.png") + ": cannot open"},
        {"convert " + quoted(dir.file("in.txt")) + " " + quoted(dir.file("out.bmp")),
         dir.file("in.txt") + ": unknown input extension"},
        {"convert " + quoted(dir.file("bad.png")) + " " + quoted(dir.file("out.bmp")),
         dir.file("bad.png") + ": cannot load: "},
        {"convert " + quoted(dir.file("bad.bmp")) + " " + quoted(dir.file("out.png")),
         "Bitmap image is not valid"},
        {"convert " + in + " /nonexistent-dir/out.bmp", "/nonexistent-dir/out.bmp"},
        {"convert " + in + " /nonexistent-dir/out.png", "Save Error"},
        // The WSQ encoder refuses a picture this small; the older file stays.
        {"convert " + small + " " + quoted(dir.file("old.wsq")),
         dir.file("old.wsq") + ": not written: ERROR : wsq_encode_1 : image too small"},
        {"encode " + small + " " + quoted(dir.file("old.wsq")),
         dir.file("old.wsq") + ": not written: ERROR : wsq_encode_1 : image too small"},
    };
    const size_t before = count_files(dir);
    for (const auto& [arguments, message] : cases) {
        const Result r = tool(arguments);
        EXPECT_NE(r.status, 0) << arguments;
        EXPECT_NE(r.output.find(message), std::string::npos) << arguments << "\n" << r.output;
    }
    EXPECT_EQ(count_files(dir), before);
    EXPECT_EQ(read_file(dir.file("old.wsq")), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

// StripByteCounts (tag 279, one inline value) of a little-endian TIFF, halved.
void halve_strip(std::vector<uint8_t>& tiff) {
    const auto u16 = [&](size_t at) { return unsigned(tiff.at(at) | tiff.at(at + 1) << 8); };
    const size_t ifd = u16(4) | size_t{u16(6)} << 16;
    for (size_t entry = ifd + 2; entry < ifd + 2 + 12 * u16(ifd); entry += 12) {
        if (u16(entry) != 279) continue;
        const unsigned half = u16(entry + 8) / 2;  // the strip is under 64 KB
        tiff.at(entry + 8) = uint8_t(half), tiff.at(entry + 9) = uint8_t(half >> 8);
        return;
    }
    ADD_FAILURE() << "no StripByteCounts";
}

TEST_F(Convert, AWarningWhileLoadingIsShownAndThePictureStillWritten) {
    ASSERT_EQ(run("convert " + quoted(dir.file("in.png")) + " -depth 8 -compress none " +
                  quoted(dir.file("rgb.tif")) + " && tiffcp -c jpeg -r 110 " +
                  quoted(dir.file("rgb.tif")) + " " + quoted(dir.file("jpeg.tif"))),
              0);
    std::vector<uint8_t> tiff = read_file(dir.file("jpeg.tif"));
    halve_strip(tiff);
    write_file(dir.file("short.tif"), tiff);
    const Result r =
        tool("convert " + quoted(dir.file("short.tif")) + " " + quoted(dir.file("s.png")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Warning: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(dir.file("s.png") + ": 130 x 110, "), std::string::npos) << r.output;
    EXPECT_TRUE(std::filesystem::exists(dir.file("s.png")));
}

TEST_F(Convert, EncodeAndDecodeTakeAnyFormatByExtension) {
    const Result encoded = tool("encode " + quoted(dir.file("in.png")) + " " +
                                quoted(dir.file("print.wsq")) + " --bitrate 2.25");
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    const Result to_png =
        tool("decode " + quoted(dir.file("print.wsq")) + " " + quoted(dir.file("back.png")));
    ASSERT_EQ(to_png.status, 0) << to_png.output;
    const Result to_pgm =
        tool("decode " + quoted(dir.file("back.png")) + " " + quoted(dir.file("back.pgm")));
    ASSERT_EQ(to_pgm.status, 0) << to_pgm.output;
    const Picture back = read_pnm(dir.file("back.pgm")), original = read_pnm(dir.file("src.pgm"));
    ASSERT_EQ(back.width, 130);
    double sum = 0;
    for (size_t i = 0; i < back.samples.size(); ++i)
        sum += std::pow(back.samples[i] - original.samples[i], 2.0);
    EXPECT_GT(10 * std::log10(255.0 * 255.0 * back.samples.size() / std::max(sum, 1.0)), 25.0);
}

TEST(Formats, ListTheLoadableExtensionsAndTheSevenOutputTypes) {
    const Result r = tool("formats");
    ASSERT_EQ(r.status, 0);
    for (const char* line : {"  .ico    Windows icons", "  .emf    Windows enhanced meta files",
                             "  .wsq    ", "  .jpe    ", "  .rgb    type 7", "  .jpg    type 5"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}

}  // namespace
}  // namespace quorvel::testing
