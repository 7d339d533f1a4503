// `quorvel thumbnail` as the desktop's thumbnailers call it: a WSQ file known by its first bytes
// whatever its name, an output named without an extension, the picture scaled down by averaging
// and never up.
#include <gtest/gtest.h>

#include <quorvel/quorvel.hpp>

#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "tools/quorvel/tool_run.h"

namespace quorvel::testing {
namespace {

// The PNG the tool wrote at `path` (named without an extension), read back.
Raster thumbnail_at(const std::string& path) {
    const std::string png = path + ".png";
    std::filesystem::copy_file(path, png);
    return quorvel::load(png);
}

TEST(Thumbnail, AWsqFileWithoutExtensionShrinksToFitTheSquare) {
    TempDir dir;
    Raster halves;  // 200 x 100: black on the left, white on the right
    halves.width = 200;
    halves.height = 100;
    halves.channels = 1;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) halves.pixels.push_back(x < 100 ? 0 : 255);
    quorvel::save(halves, dir.file("print.wsq"));
    std::filesystem::rename(dir.file("print.wsq"), dir.file("print"));

    const Result r = tool("thumbnail -s 50 '" + dir.file("print") + "' '" + dir.file("out") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const Raster t = thumbnail_at(dir.file("out"));
    ASSERT_EQ(t.width, 50);
    ASSERT_EQ(t.height, 25);
    EXPECT_LT(t.pixels[t.channels * 5], 30);    // row 0, inside the black half
    EXPECT_GT(t.pixels[t.channels * 45], 225);  // row 0, inside the white half
    EXPECT_FALSE(std::filesystem::exists(dir.file("out") + ".quorvel-thumbnail.png"));
}

TEST(Thumbnail, ASmallerColourPictureKeepsItsSizeAndPixels) {
    TempDir dir;
    Raster small;
    small.width = 30;
    small.height = 20;
    small.channels = 3;
    for (int i = 0; i < 30 * 20; ++i)
        small.pixels.insert(small.pixels.end(), {static_cast<uint8_t>(i), 40, 200});
    quorvel::save(small, dir.file("small.png"));

    const Result r = tool("thumbnail '" + dir.file("small.png") + "' '" + dir.file("out") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const Raster t = thumbnail_at(dir.file("out"));
    EXPECT_EQ(t.width, 30);
    EXPECT_EQ(t.height, 20);
    EXPECT_EQ(t.pixels, small.pixels);
}

TEST(Thumbnail, AnUnreadableInputFailsAndWritesNothing) {
    TempDir dir;
    const Result r = tool("thumbnail '" + dir.file("missing.wsq") + "' '" + dir.file("out") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("missing.wsq"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

}  // namespace
}  // namespace quorvel::testing
