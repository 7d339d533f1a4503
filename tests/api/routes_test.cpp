// CreateBMPFromFile's routes and the library bitmap's ownership rules.
#include <gtest/gtest.h>

#include <cstdlib>

#include "api/load.h"
#include "support/load_save_support.h"
#include "raster/bmg_error.h"
#include "support/ridge_pattern.h"
#include "wsq/diag.h"

namespace quorvel::testing {
namespace {

using api::LoadRoute;
constexpr LoadRoute kWsq = LoadRoute::Wsq, kContainer = LoadRoute::Container,
                    kPicture = LoadRoute::PictureLoader, kIcon = LoadRoute::Icon,
                    kMetafile = LoadRoute::Metafile, kJpeg = LoadRoute::Jpeg,
                    kNone = LoadRoute::None;

TEST(Routes, ComeFromTheExtensionAloneInAnyCase) {
    // clang-format off
    const std::pair<const char*, LoadRoute> table[] = {
        {"a.wsq", kWsq}, {"a.WSQ", kWsq}, {"a.WsQ", kWsq}, {"a.png", kContainer},
        {"a.tga", kContainer}, {"a.cel", kContainer}, {"a.rgb", kContainer}, {"a.RGBA", kContainer},
        {"a.gif", kContainer}, {"a.iff", kContainer}, {"a.pcx", kContainer}, {"a.bmp", kPicture},
        {"a.rle", kPicture}, {"a.dib", kPicture}, {"a.jfif", kPicture}, {"a.tif", kPicture},
        {"a.TIFF", kPicture}, {"a.fax", kPicture}, {"a.psd", kPicture}, {"a.pdd", kPicture},
        {"a.win", kPicture}, {"a.vst", kPicture}, {"a.vda", kPicture}, {"a.icb", kPicture},
        {"a.eps", kPicture}, {"a.pcc", kPicture}, {"a.scr", kPicture}, {"a.rpf", kPicture},
        {"a.rla", kPicture}, {"a.sgi", kPicture}, {"a.bw", kPicture}, {"a.ppm", kPicture},
        {"a.pgm", kPicture}, {"a.pbm", kPicture}, {"a.pic", kPicture}, {"a.pcd", kPicture},
        {"a.cut", kPicture}, {"a.psp", kPicture}, {"a.ico", kIcon}, {"a.wmf", kMetafile},
        {"a.EMF", kMetafile}, {"a.jpg", kJpeg}, {"a.jpeg", kJpeg}, {"a.jpe", kJpeg},
        {"a.txt", kNone}, {"a", kNone}, {"a.", kNone}, {"a.tiffx", kNone},
        {"old.dir\\image", kNone}, {"old.dir/image", kNone}, {"c.png:image", kNone},
        {"dir.bmp/x.png", kContainer}, {"x.png.wsq", kWsq},
    };
    // clang-format on
    for (const auto& [name, route] : table) EXPECT_EQ(api::load_route(name), route) << name;
}

class LibraryBitmap : public ::testing::Test {
protected:
    void SetUp() override {
        write_pnm(dir.file("a.ppm"), colour_pattern(20, 10));
        ASSERT_EQ(
            run("convert " + quoted(dir.file("a.ppm")) + " BMP3:" + quoted(dir.file("a.bmp"))), 0);
        ASSERT_EQ(run("convert " + quoted(dir.file("a.ppm")) + " -resize 30x15! " +
                      quoted(dir.file("b.png"))),
                  0);
    }
    TempDir dir;
};

TEST_F(LibraryBitmap, TheNextSuccessfulLoadDestroysThePreviousHandle) {
    const HBITMAP first = load(dir.file("a.bmp"));
    ASSERT_NE(first, nullptr);
    BITMAP shape{};
    ASSERT_NE(GetObjectA(first, sizeof shape, &shape), 0);
    const HBITMAP second = load(dir.file("b.png"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetObjectA(first, sizeof shape, &shape), 0) << "the first handle must be gone";
    EXPECT_EQ(handle_picture(second).width, 30);
}

TEST_F(LibraryBitmap, NoExtensionOrAnUnknownOneReturnsTheImageLoadedLast) {
    const HBITMAP loaded = load(dir.file("b.png"));
    ASSERT_NE(loaded, nullptr);
    for (const char* name : {"x.txt", "old.dir\\image", "noext", ""})
        EXPECT_EQ(load(dir.file(name)), loaded) << name;
    EXPECT_EQ(CreateBMPFromFile(nullptr), loaded);
    EXPECT_EQ(handle_picture(loaded).width, 30);
}

TEST_F(LibraryBitmap, AMissingContainerFileEmptiesItAMissingToolkitFileKeepsIt) {
    const HBITMAP loaded = load(dir.file("a.bmp"));
    ASSERT_NE(loaded, nullptr);
    for (const char* missing : {"none.bmp", "none.jpg", "none.ico", "none.wmf", "none.tif"}) {
        EXPECT_EQ(load(dir.file(missing)), nullptr) << missing;
        EXPECT_EQ(load(dir.file("x.txt")), loaded) << "after " << missing;
    }
    EXPECT_EQ(load(dir.file("none.png")), nullptr);
    EXPECT_EQ(raster::GetLastImageError(), raster::BMG_ERR_OPEN_FILE);
    EXPECT_EQ(load(dir.file("x.txt")), nullptr)
        << "a failed container read leaves the bitmap empty";
}

TEST_F(LibraryBitmap, EveryRouteGivesA24BitCopyOfThePicture) {
    // Pillow, because ImageMagick stores its TGA rows top-first while saying bottom-first.
    ASSERT_EQ(run("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                  "Image.open(sys.argv[1]).save(sys.argv[2])\" " +
                  quoted(dir.file("a.ppm")) + " " + quoted(dir.file("a.tga"))),
              0);
    ASSERT_EQ(
        run("convert " + quoted(dir.file("a.ppm")) + " -quality 100 " + quoted(dir.file("a.jpg"))),
        0);
    const Picture expected = read_pnm(dir.file("a.ppm"));
    for (const char* name : {"a.bmp", "a.tga", "a.jpg"}) {
        const Picture loaded = handle_picture(load(dir.file(name)));
        EXPECT_LE(max_difference(loaded, expected), std::string(name) == "a.jpg" ? 12 : 0) << name;
    }
}

// The stream with its comment segments (the NIST_COM attributes among them) taken out.
std::vector<uint8_t> without_comments(std::vector<uint8_t> stream) {
    constexpr uint16_t kComment = 0xFFA8, kStartOfBlock = 0xFFA3;
    size_t at = 2;  // past SOI
    while (at + 4 <= stream.size()) {
        const uint16_t marker = uint16_t(stream[at] << 8 | stream[at + 1]);
        const size_t length = size_t(stream[at + 2] << 8 | stream[at + 3]);
        if (marker == kStartOfBlock) break;
        if (marker == kComment)
            stream.erase(stream.begin() + long(at), stream.begin() + long(at + 2 + length));
        else at += 2 + length;
    }
    return stream;
}

// The WSQ route sets the ppi and comment settings from the file, and from the options when
// the read fails.
TEST(WsqRoute, SetsPpiAndCommentFromTheFile) {
    wsq::DiagCapture quiet;
    TempDir dir;
    std::vector<uint8_t> pixels = ridge_pattern(96, 96, 3);
    Picture gray{96, 96, 3, {}};
    for (uint8_t v : pixels) gray.samples.insert(gray.samples.end(), {v, v, v});
    unsigned char* out = nullptr;
    int length = 0;
    WSQ_encode_stream(pixels.data(), 96, 96, 2.25, 1000, nullptr, &out, &length);
    ASSERT_NE(out, nullptr);
    write_file(dir.file("plain.wsq"), without_comments(std::vector<uint8_t>(out, out + length)));
    char comment[] = "left thumb";
    WSQ_encode_stream(pixels.data(), 96, 96, 2.25, 333, comment, &out, &length);
    write_file(dir.file("noted.WSQ"), std::vector<uint8_t>(out, out + length));
    std::free(out);  // no later call of this test hands it back

    ASSERT_NE(load(dir.file("noted.WSQ")), nullptr);
    EXPECT_EQ(ReadWSQ_ppi(), 333);
    ASSERT_NE(ReadWSQ_comment(), nullptr);
    EXPECT_STREQ(ReadWSQ_comment(), "left thumb");
    const Picture loaded = handle_picture(load(dir.file("plain.wsq")));
    EXPECT_EQ(ReadWSQ_ppi(), -1) << "the resolution lives in the NIST_COM comment";
    EXPECT_EQ(ReadWSQ_comment(), nullptr);
    EXPECT_GT(psnr(loaded, gray), 30.0);
    EXPECT_EQ(load(dir.file("none.wsq")), nullptr);
    EXPECT_EQ(ReadWSQ_ppi(), 500);
    EXPECT_EQ(ReadWSQ_comment(), nullptr);
    WriteWSQ_ppi(500);
    WriteWSQ_comment(nullptr);
}

}  // namespace
}  // namespace quorvel::testing
