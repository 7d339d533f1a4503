// The library-wide load limits: how they are read from the environment and set through the
// C++ API, and that every layer (container codecs, extended readers, the WSQ decoder, the GDI
// bitmaps) refuses a picture over them before allocating it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include <jpeglib.h>
#include <png.h>

#include <quorvel/quorvel.hpp>

#include "platform/gdi_objects.h"
#include "platform/limits.h"
#include "raster/bmg_error.h"
#include "raster/bmg_image.h"
#include "raster/codecs/codecs.h"
#include "readers/limits.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/icon.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/metafile.h"
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

// Pictures of a given size for the classes with limits of their own.
void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) { put16(b, v), put16(b, v >> 16); }

std::vector<uint8_t> bmp_file(int width, int height) {
    const uint32_t row = (uint32_t(width) * 3 + 3) & ~3u, pixels = row * uint32_t(height);
    std::vector<uint8_t> b{'B', 'M'};
    for (uint32_t v : {54 + pixels, 0u, 54u, 40u, uint32_t(width), uint32_t(height)}) put32(b, v);
    put16(b, 1), put16(b, 24);
    for (uint32_t v : {0u, pixels, 2835u, 2835u, 0u, 0u}) put32(b, v);
    b.resize(b.size() + pixels, 0x80);
    return b;
}

std::vector<uint8_t> gray_jpeg(int width, int height, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width), cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 1, cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(width), 0x80);
    for (JSAMPROW line = row.data(); cinfo.next_scanline < cinfo.image_height;)
        jpeg_write_scanlines(&cinfo, &line, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> png_icon(int width, int height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION, image.format = PNG_FORMAT_GRAY;
    image.width = png_uint_32(width), image.height = png_uint_32(height);
    const std::vector<uint8_t> pixels(size_t(width) * size_t(height), 0x80);
    png_alloc_size_t png_bytes = 0;
    png_image_write_to_memory(&image, nullptr, &png_bytes, 0, pixels.data(), 0, nullptr);
    std::vector<uint8_t> png(png_bytes);
    png_image_write_to_memory(&image, png.data(), &png_bytes, 0, pixels.data(), 0, nullptr);
    std::vector<uint8_t> b;
    put16(b, 0), put16(b, 1), put16(b, 1);
    b.push_back(0), b.push_back(0), b.push_back(0), b.push_back(0);  // 256 x 256 in the entry
    put16(b, 1), put16(b, 32), put32(b, uint32_t(png_bytes)), put32(b, 22);
    b.insert(b.end(), png.begin(), png.begin() + long(png_bytes));
    return b;
}

// A placeable metafile of width x height units at 96 an inch, with no records but its end.
std::vector<uint8_t> empty_wmf(int width, int height) {
    std::vector<uint8_t> out;
    const uint16_t placeable[10] = {0xCDD7,          0x9AC6,           0,  0, 0,
                                    uint16_t(width), uint16_t(height), 96, 0, 0};
    uint16_t checksum = 0;
    for (uint16_t w : placeable) put16(out, w), checksum ^= w;
    put16(out, checksum);
    put16(out, 1), put16(out, 9), put16(out, 0x300), put32(out, 12);
    put16(out, 0), put32(out, 3), put16(out, 0);
    put32(out, 3), put16(out, 0);  // EOF record
    return out;
}

// "" when the class loaded the picture, else the reason it gave.
template <class Picture>
std::string load_picture(const std::vector<uint8_t>& bytes) {
    Picture picture;
    toolkit::Stream stream(bytes);
    try {
        picture.LoadFromStream(stream);
        return "";
    } catch (const toolkit::GraphicError& e) {
        return e.what();
    }
}

std::string load_with_container(const std::vector<uint8_t>& bytes) {
    TempDir dir;
    write_file(dir.file("x.jpg"), bytes);
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    const raster::BMGError code = raster::ReadJpegFile(dir.file("x.jpg").c_str(), &img);
    raster::ReleaseImageRecord(&img);
    return code == raster::BMG_OK ? "" : "code " + std::to_string(int(code));
}

struct OwnLimitCase {
    const char* name;
    uint64_t platform::LoadLimits::*field;
    uint64_t limit;
    std::function<std::vector<uint8_t>(bool over)> picture;
    std::string (*load)(const std::vector<uint8_t>&);
    std::string refusal;
};

const OwnLimitCase kOwnLimits[] = {
    {"Bitmap", &platform::LoadLimits::max_pixels, 2048,
     [](bool over) { return bmp_file(over ? 65 : 64, 32); }, load_picture<toolkit::Bitmap>,
     "Bitmap image is too large"},
    {"JpegImage", &platform::LoadLimits::max_pixels, 2048,
     [](bool over) { return gray_jpeg(over ? 65 : 64, 32, false); },
     load_picture<toolkit::JpegImage>, "JPEG image is too large"},
    {"Icon", &platform::LoadLimits::max_pixels, 2048,
     [](bool over) { return png_icon(over ? 65 : 64, 32); }, load_picture<toolkit::Icon>,
     "Icon image is not valid"},
    {"Metafile", &platform::LoadLimits::max_pixels, 2048,
     [](bool over) { return empty_wmf(over ? 65 : 64, 32); }, load_picture<toolkit::Metafile>,
     "Metafile is too large to draw"},
    {"MetafileSide", &platform::LoadLimits::max_metafile_side, 64,
     [](bool over) { return empty_wmf(over ? 65 : 64, 2); }, load_picture<toolkit::Metafile>,
     "Metafile is too large to draw"},
    // A progressive file keeps every coefficient: 2 bytes a pixel.
    {"ProgressiveJpegImage", &platform::LoadLimits::max_decoder_memory, 600000,
     [](bool over) { return gray_jpeg(over ? 640 : 256, 512, true); },
     load_picture<toolkit::JpegImage>, "JPEG error: Backing store not supported"},
    {"ProgressiveContainerJpeg", &platform::LoadLimits::max_decoder_memory, 600000,
     [](bool over) { return gray_jpeg(over ? 640 : 256, 512, true); }, load_with_container,
     "code " + std::to_string(int(raster::BMG_ERR_CORRUPT_FORMAT))},
};

void PrintTo(const OwnLimitCase& c, std::ostream* out) { *out << c.name; }

class OwnLimits : public ::testing::TestWithParam<OwnLimitCase> {
protected:
    void TearDown() override { platform::set_load_limits(saved_); }
    const platform::LoadLimits saved_ = platform::load_limits();
};

TEST_P(OwnLimits, AClassRefusesAPictureOverALoweredLimitAndTakesOneUnderIt) {
    const OwnLimitCase& c = GetParam();
    const std::vector<uint8_t> under = c.picture(false), over = c.picture(true);
    platform::LoadLimits lowered{0, 0, 0, 0, 0, 0};
    lowered.*c.field = c.limit;
    platform::set_load_limits(lowered);
    EXPECT_EQ(c.load(under), "");
    EXPECT_EQ(c.load(over), c.refusal);
}

INSTANTIATE_TEST_SUITE_P(Classes, OwnLimits, ::testing::ValuesIn(kOwnLimits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::testing
