// The library-wide load limits: how they are read from the environment and set through the
// C++ API, and that every layer (container codecs, extended readers, the WSQ decoder, the GDI
// bitmaps) refuses a picture over them before allocating it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <quorvel/quorvel.hpp>

#include "platform/gdi_objects.h"
#include "platform/limits.h"
#include "raster/bmg_error.h"
#include "raster/bmg_image.h"
#include "readers/limits.h"
#include "support/ridge_pattern.h"
#include "support/test_support.h"

namespace quorvel::testing {
namespace {

TEST(LoadLimits, ParseAcceptsOnlyPositiveDecimalCounts) {
    const std::pair<const char*, std::optional<uint64_t>> table[] = {
        {"1", 1},
        {"268435456", 268435456},
        {"18446744073709551615", UINT64_MAX},
        {nullptr, {}},
        {"", {}},
        {"0", {}},
        {"-5", {}},
        {"+5", {}},
        {" 5", {}},
        {"5 ", {}},
        {"12x", {}},
        {"0x10", {}},
        {"1e9", {}},
        {"18446744073709551616", {}},
    };
    for (const auto& [text, expected] : table)
        EXPECT_EQ(platform::parse_limit(text), expected) << (text ? text : "(null)");
}

TEST(LoadLimits, EnvironmentValuesReplaceTheDefaultsAndJunkIsIgnored) {
    setenv("QUORVEL_MAX_PIXELS", "4096", 1);
    setenv("QUORVEL_MAX_LOAD_BYTES", "lots", 1);
    const platform::LoadLimits limits = platform::limits_from_environment();
    unsetenv("QUORVEL_MAX_PIXELS");
    unsetenv("QUORVEL_MAX_LOAD_BYTES");
    EXPECT_EQ(limits.max_pixels, 4096u);
    EXPECT_EQ(limits.max_load_bytes, uint64_t{1} << 30);
    EXPECT_EQ(platform::limits_from_environment().max_pixels, uint64_t{1} << 28);
}

// Lowers the limits for one test and puts the previous ones back.
class LoweredLimits : public ::testing::Test {
protected:
    void TearDown() override { quorvel::set_limits(saved_); }
    const quorvel::Limits saved_ = quorvel::limits();
};

TEST_F(LoweredLimits, CppApiSetsBothAndZeroKeepsALimit) {
    quorvel::set_limits({5000, 0});
    EXPECT_EQ(quorvel::limits().max_pixels, 5000u);
    EXPECT_EQ(quorvel::limits().max_load_bytes, saved_.max_load_bytes);
    EXPECT_EQ(readers::reader_limits().max_pixels, 5000u);
    quorvel::set_limits({0, 777});
    EXPECT_EQ(quorvel::limits().max_pixels, 5000u);
    EXPECT_EQ(readers::reader_limits().max_load_bytes, 777u);
}

TEST_F(LoweredLimits, ImageRecordsAndGdiBitmapsOverALimitAreRefused) {
    quorvel::set_limits({1000, 100000});
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.width = 40, img.height = 25, img.bitsPerPixel = 8;
    EXPECT_EQ(raster::AllocateImageRecord(&img), raster::BMG_OK);
    raster::ReleaseImageRecord(&img);
    img.width = 40, img.height = 26, img.bitsPerPixel = 8;
    EXPECT_EQ(raster::AllocateImageRecord(&img), raster::BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(img.pixels, nullptr);

    // GDI bitmaps count their bytes only: hosts make bitmaps of any shape.
    auto kind = QuorvelGdiObject::Kind::DibSection;
    quorvel::set_limits({1000, 3000});
    QuorvelGdiObject* fits = platform::make_bitmap(kind, 40, 25, 24);  // 3000 bytes
    ASSERT_NE(fits, nullptr);
    platform::remove_object(fits);
    quorvel::set_limits({1u << 20, 2999});
    EXPECT_EQ(platform::make_bitmap(kind, 40, 25, 24), nullptr);
}

TEST_F(LoweredLimits, WsqDecoderRefusesAFrameOverTheLimitWithItsDiagnostic) {
    const std::vector<uint8_t> stream = quorvel::encode(ridge_pattern(96, 88, 7), 96, 88);
    EXPECT_EQ(quorvel::decode(stream).width, 96);
    quorvel::set_limits({96 * 88 - 1, 0});
    try {
        quorvel::decode(stream);
        FAIL() << "decoded over the limit";
    } catch (const quorvel::Error& e) {
        EXPECT_LT(e.code(), 0);
        EXPECT_NE(std::string(e.what()).find("image of 96 x 88 is over the load limits"),
                  std::string::npos)
            << e.what();
    }
}

// One file per reader family, 60 x 50 pixels, made by ImageMagick.
class FormatsOverTheLimit : public LoweredLimits,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(FormatsOverTheLimit, LoadAtTheDefaultsButNotBelowThePictureSize) {
    if (!have_tool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    TempDir dir;
    const std::string path = dir.file(std::string("in.") + GetParam());
    ASSERT_EQ(run("convert -size 60x50 gradient:red-blue -depth 8 '" + path + "'"), 0);
    EXPECT_EQ(quorvel::load(path).width, 60);
    for (const quorvel::Limits low : {quorvel::Limits{2999, 0}, quorvel::Limits{0, 2999}}) {
        quorvel::set_limits(low);
        EXPECT_THROW(quorvel::load(path), quorvel::Error) << GetParam();
        quorvel::set_limits(saved_);
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, FormatsOverTheLimit,
                         ::testing::Values("bmp", "png", "gif", "tif", "jpg", "tga", "pcx", "psd",
                                           "sgi", "pgm"));

}  // namespace
}  // namespace quorvel::testing
