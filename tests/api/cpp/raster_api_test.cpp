// load(), save() and convert(): round trips through every writer, files that ImageMagick
// writes, WSQ's resolution and comment, failures as quorvel::Error without a word on stderr
// (calls from several threads at once: thread_test.cpp).
#include <quorvel/quorvel.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "support/ridge_pattern.h"
#include "support/test_support.h"

namespace {

using quorvel::testing::TempDir;

// An RGB image whose channels differ everywhere (so that it does not load back as gray).
quorvel::Raster raster(std::vector<uint8_t> pixels, int width, int height, int channels) {
    quorvel::Raster image;
    image.pixels = std::move(pixels);
    image.width = width;
    image.height = height;
    image.channels = channels;
    return image;
}

quorvel::SaveOptions wsq_options(double bitrate, int ppi, std::optional<std::string> comment) {
    quorvel::SaveOptions options;
    options.bitrate = bitrate;
    options.ppi = ppi;
    options.comment = std::move(comment);
    return options;
}

quorvel::Raster colour_image(int width, int height) {
    quorvel::Raster image = raster({}, width, height, 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels.insert(image.pixels.end(), {std::uint8_t(x * 5), std::uint8_t(y * 3 + 1),
                                                     std::uint8_t(200 - (x + y) % 150)});
    return image;
}

quorvel::Raster gray_image(int width, int height, uint32_t seed) {
    return raster(quorvel::testing::ridge_pattern(width, height, seed), width, height, 1);
}

int max_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int worst = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

TEST(CppRaster, EveryWriterRoundTripsThroughItsReader) {
    struct Case {
        const char* name;
        int tolerance;  // 0: lossless
    };
    TempDir dir;
    const quorvel::Raster image = colour_image(37, 23);
    for (const Case& c : {Case{"a.png", 0}, Case{"a.bmp", 0}, Case{"a.tga", 0}, Case{"a.rgb", 0},
                          Case{"a.jpg", 40}, Case{"a.jpeg", 40}}) {
        quorvel::save(image, dir.file(c.name));
        const quorvel::Raster back = quorvel::load(dir.file(c.name));
        EXPECT_EQ(back.width, 37) << c.name;
        EXPECT_EQ(back.height, 23) << c.name;
        EXPECT_EQ(back.channels, 3) << c.name;
        EXPECT_LE(max_difference(back.pixels, image.pixels), c.tolerance) << c.name;
    }
}

TEST(CppRaster, TiffFilesAreWhatImageMagickReads) {
    ASSERT_TRUE(quorvel::testing::have_tool("convert"));
    TempDir dir;
    const quorvel::Raster image = colour_image(37, 23);
    for (int compression : {0, 1, 2}) {
        quorvel::SaveOptions options;
        options.tiff_compression = compression;
        quorvel::save(image, dir.file("a.tiff"), options);
        ASSERT_EQ(quorvel::testing::run("convert " + dir.file("a.tiff") + " " + dir.file("a.ppm")),
                  0);
        EXPECT_EQ(quorvel::testing::read_pnm(dir.file("a.ppm")).samples, image.pixels)
            << compression;
    }
}

TEST(CppRaster, GrayImagesLoadAsOneChannelAndWsqKeepsResolutionAndComment) {
    TempDir dir;
    const quorvel::Raster image = gray_image(120, 100, 5);
    quorvel::save(image, dir.file("g.png"));
    EXPECT_EQ(quorvel::load(dir.file("g.png")).pixels, image.pixels);
    quorvel::save(image, dir.file("g.wsq"), wsq_options(2.25, 1000, "left thumb"));
    const quorvel::Raster wsq = quorvel::load(dir.file("g.wsq"));
    EXPECT_EQ(wsq.channels, 1);
    EXPECT_EQ(wsq.ppi, 1000);
    EXPECT_EQ(wsq.comment, "left thumb");
    // The file's coded image is the one the C++ encoder makes of the same pixels (its NIST_COM
    // says PIX_DEPTH 24: the writers work on 24-bit copies).
    EXPECT_EQ(wsq.pixels,
              quorvel::decode(quorvel::encode(image.pixels, 120, 100, {2.25, 1000, "left thumb"}))
                  .pixels);
    EXPECT_EQ(quorvel::info(quorvel::testing::read_file(dir.file("g.wsq"))).attributes[3].value,
              "24");
}

TEST(CppRaster, ReadsWhatImageMagickWrites) {
    ASSERT_TRUE(quorvel::testing::have_tool("convert"));
    TempDir dir;
    const quorvel::Raster image = colour_image(30, 20);
    quorvel::testing::write_pnm(dir.file("in.ppm"), {30, 20, 3, image.pixels});
    // (Not TGA: ImageMagick 6 writes its rows top first under a bottom-up descriptor.)
    for (const std::string name : {"m.png", "m.bmp", "m.pcx", "m.rgb"}) {
        const std::string target = (name == "m.rgb" ? "SGI:" : "") + dir.file(name);
        ASSERT_EQ(quorvel::testing::run("convert " + dir.file("in.ppm") + " " + target), 0) << name;
        const quorvel::Raster back = quorvel::load(dir.file(name));
        EXPECT_EQ(back.pixels, image.pixels) << name;
    }
}

TEST(CppRaster, ConvertIsSaveOfLoad) {
    TempDir dir;
    quorvel::save(gray_image(90, 110, 2), dir.file("in.png"));
    quorvel::convert(dir.file("in.png"), dir.file("out.wsq"), wsq_options(1.5, 500, {}));
    quorvel::save(quorvel::load(dir.file("in.png")), dir.file("ref.wsq"),
                  wsq_options(1.5, 500, {}));
    EXPECT_EQ(quorvel::testing::read_file(dir.file("out.wsq")),
              quorvel::testing::read_file(dir.file("ref.wsq")));
}

TEST(CppRaster, FailuresThrowAndPrintNothing) {
    TempDir dir;
    quorvel::testing::write_file(dir.file("junk.png"), {1, 2, 3, 4, 5});
    struct Failure {
        const char* name;
        int code;
        std::function<void()> call;
    };
    const quorvel::Raster good = gray_image(90, 90, 1);
    const std::vector<Failure> failures = {
        {"unknown extension", quorvel::kInvalidArgument, [&] { quorvel::load(dir.file("a.xyz")); }},
        {"missing file", quorvel::kLoadFailed, [&] { quorvel::load(dir.file("none.png")); }},
        {"corrupt file", quorvel::kLoadFailed, [&] { quorvel::load(dir.file("junk.png")); }},
        {"bad writer", quorvel::kInvalidArgument, [&] { quorvel::save(good, dir.file("a.gif")); }},
        {"size mismatch", quorvel::kInvalidArgument,
         [&] { quorvel::save(raster(good.pixels, 91, 90, 1), dir.file("a.png")); }},
        {"no directory", 0, [&] { quorvel::save(good, dir.file("no/such/a.png")); }},
        {"wsq too small", 0, [&] { quorvel::save(gray_image(40, 40, 1), dir.file("s.wsq")); }},
    };
    for (const Failure& f : failures) {
        ::testing::internal::CaptureStderr();
        try {
            f.call();
            ADD_FAILURE() << f.name << ": no exception";
        } catch (const quorvel::Error& e) {
            if (f.code != 0) {
                EXPECT_EQ(e.code(), f.code) << f.name << ": " << e.what();
            }
            EXPECT_NE(std::string(e.what()).find(dir.path().string()), std::string::npos)
                << f.name << ": " << e.what();
        }
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << f.name;
    }
}

}  // namespace
