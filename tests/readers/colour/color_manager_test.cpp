// The colour manager's converters, checked against values worked out from each model's
// published equations, plus its palettes, pixel formats and messages.
#include "readers/colour/color_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <ostream>
#include <vector>

#include "support/test_support.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

using Bytes = std::vector<uint8_t>;

struct Setup {
    ColorModel from;
    uint8_t bits;
    uint8_t samples;
    ColorModel to;
    uint8_t target_bits = 8;
    uint8_t target_samples = 1;
    uint32_t options = 0;
};

void configure(TColorManager& cm, const Setup& s) {
    cm.set_source_color_scheme(s.from);
    cm.set_source_bits_per_sample(s.bits);
    cm.set_source_samples_per_pixel(s.samples);
    cm.set_source_options(s.options);
    cm.set_target_color_scheme(s.to);
    cm.set_target_bits_per_sample(s.target_bits);
    cm.set_target_samples_per_pixel(s.target_samples);
}

// Converts interleaved (one plane) or planar data into a target of `out_bytes` bytes preset
// to 0xEE, so pixels a mask skips show.
Bytes convert(TColorManager& cm, const std::vector<Bytes>& planes, unsigned count, size_t out_bytes,
              uint8_t mask = 0xFF) {
    std::vector<const uint8_t*> pointers;
    for (const Bytes& p : planes) pointers.push_back(p.data());
    Bytes out(out_bytes, 0xEE);
    cm.convert_row(pointers, out.data(), count, mask);
    return out;
}

struct IndexedCase {
    const char* name;
    Setup setup;
    Bytes source;
    unsigned count;
    Bytes expected;
};

void PrintTo(const IndexedCase& c, std::ostream* os) { *os << c.name; }

class IndexedRepacking : public ::testing::TestWithParam<IndexedCase> {};

TEST_P(IndexedRepacking, StoresTheBitmapsDepth) {
    const IndexedCase& c = GetParam();
    TColorManager cm;
    configure(cm, c.setup);
    EXPECT_EQ(convert(cm, {c.source}, c.count, c.expected.size()), c.expected);
}

constexpr uint32_t kBig = coNeedByteSwap;

INSTANTIATE_TEST_SUITE_P(
    Variants, IndexedRepacking,
    ::testing::Values(
        IndexedCase{"i1_to_1", {cmIndexed, 1, 1, cmIndexed, 1}, {0xA5}, 8, {0xA5}},
        IndexedCase{"i2_into_4bit", {cmIndexed, 2, 1, cmIndexed, 2}, {0xD8}, 4, {0x31, 0x20}},
        IndexedCase{"i4_to_4", {cmIndexed, 4, 1, cmIndexed, 4}, {0x12, 0x30}, 3, {0x12, 0x3E}},
        IndexedCase{"i4_to_8", {cmIndexed, 4, 1, cmIndexed, 8}, {0x1F}, 2, {1, 15}},
        IndexedCase{"i1_to_8", {cmIndexed, 1, 1, cmIndexed, 8}, {0x80}, 3, {1, 0, 0}},
        IndexedCase{"i8_to_4", {cmIndexed, 8, 1, cmIndexed, 4}, {3, 12, 7}, 3, {0x3C, 0x7E}},
        IndexedCase{"i8_to_16", {cmIndexed, 8, 1, cmIndexed, 16}, {200, 7}, 2, {200, 7}},
        IndexedCase{"i16_to_8_little",
                    {cmIndexed, 16, 1, cmIndexed, 8},
                    {0x34, 0x12, 0xFF, 0x01},
                    2,
                    {0x12, 0x01}},
        IndexedCase{
            "i16_to_8_big", {cmIndexed, 16, 1, cmIndexed, 8, 1, kBig}, {0x12, 0x34}, 1, {0x12}},
        IndexedCase{"i16_to_16",
                    {cmIndexed, 16, 1, cmIndexed, 16, 1, kBig},
                    {0xAB, 0xCD, 0, 1},
                    2,
                    {0xAB, 0}},
        IndexedCase{"g1_to_8", {cmGray, 1, 1, cmGray, 8}, {0x80}, 2, {255, 0}},
        IndexedCase{"g2_to_8", {cmGray, 2, 1, cmGray, 8}, {0xE4}, 4, {255, 170, 85, 0}},
        IndexedCase{"g2_into_4bit", {cmGray, 2, 1, cmGray, 2}, {0xE4}, 4, {0x32, 0x10}},
        IndexedCase{"g4_to_8", {cmGray, 4, 1, cmGray, 8}, {0x0F, 0x80}, 3, {0, 255, 136}},
        IndexedCase{"g8_to_4", {cmGray, 8, 1, cmGray, 4}, {255, 0, 128}, 3, {0xF0, 0x8E}},
        IndexedCase{"g8_to_1", {cmGray, 8, 1, cmGray, 1}, {255, 0, 200, 100}, 4, {0xA0 | 0x0E}},
        IndexedCase{"g16_big_to_8",
                    {cmGray, 16, 1, cmGray, 8, 1, kBig},
                    {0xAB, 0xCD, 0x01, 0xFF},
                    2,
                    {0xAB, 0x01}},
        IndexedCase{"g8_to_16", {cmGray, 8, 1, cmGray, 16}, {9, 250}, 2, {9, 250}},
        IndexedCase{"g12_to_8", {cmGray, 12, 1, cmGray, 8}, {0xAB, 0xCD, 0xEF}, 2, {0xAB, 0xDE}},
        IndexedCase{"ga8_to_8", {cmGrayAlpha, 8, 2, cmGray, 8}, {10, 200, 20, 100}, 2, {10, 20}},
        IndexedCase{"ga16_big_to_8",
                    {cmGrayAlpha, 16, 2, cmGray, 8, 1, kBig},
                    {0x80, 0, 0xFF, 0xFF, 0x40, 1, 0, 0},
                    2,
                    {0x80, 0x40}},
        IndexedCase{
            "ga8_to_indexed_4", {cmGrayAlpha, 8, 2, cmIndexed, 4}, {255, 0, 0, 9}, 2, {0xF0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ColorManager, GrayWithAlphaReadsItsPlanarGrayPlane) {
    TColorManager cm;
    configure(cm, {cmGrayAlpha, 8, 2, cmGray, 8});
    EXPECT_EQ(convert(cm, {{1, 2, 3}, {9, 9, 9}}, 3, 3), (Bytes{1, 2, 3}));
}

// An interlace pass's row holds only its own pixels; the mask places them.
TEST(ColorManager, MaskPlacesAPassRowsPixels) {
    TColorManager cm;
    configure(cm, {cmIndexed, 8, 1, cmIndexed, 8});
    EXPECT_EQ(convert(cm, {{1, 5, 9}}, 9, 9, 0x88),
              (Bytes{1, 0xEE, 0xEE, 0xEE, 5, 0xEE, 0xEE, 0xEE, 9}));
    configure(cm, {cmGray, 4, 1, cmGray, 4});
    EXPECT_EQ(convert(cm, {{0x12, 0x30}}, 6, 3, 0x55), (Bytes{0xE1, 0xE2, 0xE3}));
    configure(cm, {cmRGB, 8, 3, cmBGR, 8, 3});
    EXPECT_EQ(convert(cm, {{4, 5, 6}}, 2, 6, 0x40), (Bytes{0xEE, 0xEE, 0xEE, 6, 5, 4}));
    configure(cm, {cmRGB, 16, 3, cmBGR, 8, 3, kBig});
    EXPECT_EQ(convert(cm, {{4, 0, 5, 0, 6, 0}}, 2, 6, 0x40), (Bytes{0xEE, 0xEE, 0xEE, 6, 5, 4}));
}

struct ColourCase {
    const char* name;
    Setup setup;
    std::vector<Bytes> planes;
    unsigned count;
    Bytes expected;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class ColourCopies : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourCopies, ReorderAndReduceSamples) {
    const ColourCase& c = GetParam();
    TColorManager cm;
    configure(cm, c.setup);
    EXPECT_EQ(convert(cm, c.planes, c.count, c.expected.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ColourCopies,
    ::testing::Values(
        ColourCase{
            "rgb_to_bgr", {cmRGB, 8, 3, cmBGR, 8, 3}, {{1, 2, 3, 4, 5, 6}}, 2, {3, 2, 1, 6, 5, 4}},
        ColourCase{"rgb_to_rgb", {cmRGB, 8, 3, cmRGB, 8, 3}, {{1, 2, 3}}, 1, {1, 2, 3}},
        ColourCase{"bgr_to_bgr", {cmBGR, 8, 3, cmBGR, 8, 3}, {{1, 2, 3}}, 1, {1, 2, 3}},
        ColourCase{"bgr_to_rgba", {cmBGR, 8, 3, cmRGBA, 8, 4}, {{1, 2, 3}}, 1, {3, 2, 1, 255}},
        ColourCase{"rgba_to_bgra", {cmRGBA, 8, 4, cmBGRA, 8, 4}, {{1, 2, 3, 4}}, 1, {3, 2, 1, 4}},
        ColourCase{"rgba_to_bgr",
                   {cmRGBA, 8, 4, cmBGR, 8, 3},
                   {{1, 2, 3, 4, 5, 6, 7, 8}},
                   2,
                   {3, 2, 1, 7, 6, 5}},
        ColourCase{"bgra_to_rgba", {cmBGRA, 8, 4, cmRGBA, 8, 4}, {{1, 2, 3, 4}}, 1, {3, 2, 1, 4}},
        ColourCase{
            "rgb_extra_sample", {cmRGB, 8, 4, cmBGRA, 8, 4}, {{1, 2, 3, 4}}, 1, {3, 2, 1, 255}},
        ColourCase{"rgb_alpha_option",
                   {cmRGB, 8, 4, cmBGRA, 8, 4, coAlpha},
                   {{1, 2, 3, 4}},
                   1,
                   {3, 2, 1, 4}},
        ColourCase{"planar_rgb",
                   {cmRGB, 8, 3, cmBGR, 8, 3},
                   {{1, 4}, {2, 5}, {3, 6}},
                   2,
                   {3, 2, 1, 6, 5, 4}},
        ColourCase{
            "planar_rgba", {cmRGBA, 8, 4, cmBGRA, 8, 4}, {{1}, {2}, {3}, {4}}, 1, {3, 2, 1, 4}},
        ColourCase{"rgb16_little", {cmRGB, 16, 3, cmBGR, 8, 3}, {{0, 1, 0, 2, 0, 3}}, 1, {3, 2, 1}},
        ColourCase{
            "rgb16_big", {cmRGB, 16, 3, cmBGR, 8, 3, kBig}, {{1, 0, 2, 0, 3, 0}}, 1, {3, 2, 1}},
        ColourCase{"planar_rgba16_big",
                   {cmRGBA, 16, 4, cmBGRA, 8, 4, kBig},
                   {{1, 0}, {2, 0}, {3, 0}, {4, 0}},
                   1,
                   {3, 2, 1, 4}},
        ColourCase{"rgb4", {cmRGB, 4, 3, cmBGR, 8, 3}, {{0xF0, 0x8F}}, 1, {136, 0, 255}},
        ColourCase{"rgb555_word", {cmRGB, 5, 3, cmBGR, 8, 3}, {{0x1F, 0x7C}}, 1, {255, 0, 255}},
        ColourCase{"rgb_to_15bit", {cmRGB, 8, 3, cmBGR, 5, 3}, {{255, 0, 8}}, 1, {0x01, 0x7C}},
        ColourCase{"cmyk_inks",
                   {cmCMYK, 8, 4, cmBGR, 8, 3},
                   {{255, 0, 0, 0, 0, 0, 0, 255}},
                   2,
                   {255, 255, 0, 0, 0, 0}},
        ColourCase{"cmyk_half_black",
                   {cmCMYK, 8, 4, cmRGBA, 8, 4},
                   {{0, 128, 0, 128}},
                   1,
                   {127, 63, 127, 255}},
        ColourCase{
            "cmyk_planar", {cmCMYK, 8, 4, cmRGB, 8, 3}, {{0}, {255}, {0}, {0}}, 1, {255, 0, 255}},
        ColourCase{"cmyk16_big",
                   {cmCMYK, 16, 4, cmRGB, 8, 3, kBig},
                   {{0, 0, 0, 0, 255, 0, 0, 0}},
                   1,
                   {255, 255, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// Converts one interleaved 8-bit pixel of three samples to RGB.
Bytes rgb_of(TColorManager& cm, Bytes pixel) { return convert(cm, {pixel}, 1, 3); }

void expect_near(const Bytes& got, const Bytes& want, int tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_LE(std::abs(got[i] - want[i]), tolerance)
            << "sample " << i << ": " << int(got[i]) << " vs " << int(want[i]);
}

TEST(ColorManager, LabUsesD65AndBothByteRanges) {
    TColorManager cm;
    configure(cm, {cmCIELab, 8, 3, cmRGB, 8, 3});
    EXPECT_EQ(rgb_of(cm, {255, 128, 128}), (Bytes{255, 255, 255}));
    EXPECT_EQ(rgb_of(cm, {0, 128, 128}), (Bytes{0, 0, 0}));
    // sRGB red is L* 53.24, a* 80.09, b* 67.20 under D65; green L* 87.73, a* -86.18, b* 83.18.
    expect_near(rgb_of(cm, {136, 128 + 80, 128 + 67}), {255, 0, 0}, 3);
    configure(cm, {cmCIELab, 8, 3, cmRGB, 8, 3, coLabByteRange});
    expect_near(rgb_of(cm, {136, 80, 67}), {255, 0, 0}, 3);
    EXPECT_EQ(rgb_of(cm, {255, 0, 0}), (Bytes{255, 255, 255}));
}

// ImageMagick's Lab (D65 as well) stores a* and b* centred at 128 in 8-bit files; its 16-bit
// quantum clips a* or b* below about -64, so the colours stay inside that range.
TEST(ColorManager, LabMatchesImageMagicksConversion) {
    if (!quorvel::testing::have_tool("convert")) GTEST_SKIP() << "ImageMagick missing";
    TColorManager cm;
    configure(cm, {cmCIELab, 8, 3, cmRGB, 8, 3});
    const Bytes colours[] = {
        {200, 100, 50}, {70, 90, 130}, {90, 200, 90}, {128, 128, 128}, {250, 240, 20}};
    for (const Bytes& rgb : colours) {
        const std::string spec =
            std::to_string(rgb[0]) + "," + std::to_string(rgb[1]) + "," + std::to_string(rgb[2]);
        const std::string lab = quorvel::testing::run_output(
            "convert 'xc:rgb(" + spec + ")' -colorspace Lab -set colorspace sRGB -depth 8 rgb:-");
        ASSERT_EQ(lab.size(), 3u);
        SCOPED_TRACE(spec);
        expect_near(rgb_of(cm, Bytes(lab.begin(), lab.end())), rgb, 6);  // 8-bit L*a*b* steps
    }
}

TEST(ColorManager, YCbCrFollowsTheLumaCoefficients) {
    TColorManager cm;
    configure(cm, {cmYCbCr, 8, 3, cmRGB, 8, 3});
    EXPECT_EQ(rgb_of(cm, {128, 128, 128}), (Bytes{128, 128, 128}));
    // BT.601 red (255, 0, 0): Y 76.2, Cb 85.0, Cr 255.5.
    expect_near(rgb_of(cm, {76, 85, 255}), {254, 0, 0}, 1);
    // Y 100, Cb 150, Cr 90: R = 100 + 1.402 * -38, G = 100 - 0.34414 * 22 + 0.71414 * 38, B = 100
    // + 1.772 * 22.
    EXPECT_EQ(rgb_of(cm, {100, 150, 90}), (Bytes{47, 120, 139}));
    const float bt709[3] = {0.2126f, 0.7152f, 0.0722f};
    cm.set_ycbcr_parameters(bt709, 1, 1);
    // R = 100 + 1.5748 * -38, G = 100 - 0.18732 * 22 + 0.46812 * 38, B = 100 + 1.8556 * 22.
    EXPECT_EQ(rgb_of(cm, {100, 150, 90}), (Bytes{40, 114, 141}));
}

TEST(ColorManager, YCbCrBandUpsamplesTiffBlocks) {
    TColorManager cm;
    configure(cm, {cmYCbCr, 8, 3, cmRGB, 8, 3});
    const float bt601[3] = {0.299f, 0.587f, 0.114f};
    cm.set_ycbcr_parameters(bt601, 2, 2);
    // Width 3: two 2 x 2 blocks; the second covers one column of the image.
    const Bytes band = {10, 20, 30, 40, 128, 128, 50, 60, 70, 80, 128, 228};
    ASSERT_EQ(cm.ycbcr_band_bytes(3), band.size());
    Bytes top(9), bottom(9);
    uint8_t* rows[2] = {top.data(), bottom.data()};
    cm.convert_ycbcr_band(band, 3, rows);
    EXPECT_EQ(top, (Bytes{10, 10, 10, 20, 20, 20, 190, 0, 50}));
    EXPECT_EQ(bottom, (Bytes{30, 30, 30, 40, 40, 40, 210, 0, 70}));
    // A short band reads missing samples as 0 and the last band may cover fewer rows.
    Bytes single(9);
    uint8_t* one[1] = {single.data()};
    cm.convert_ycbcr_band(std::span(band).first(5), 3, one);
    EXPECT_EQ(single[0], 0);  // Cr 0 pulls red down
}

TEST(ColorManager, PhotoYccUsesThePhotoCdEquations) {
    TColorManager cm;
    configure(cm, {cmPhotoYCC, 8, 3, cmBGR, 8, 3});
    EXPECT_EQ(rgb_of(cm, {0, 156, 137}), (Bytes{0, 0, 0}));
    EXPECT_EQ(rgb_of(cm, {188, 156, 137}), (Bytes{255, 255, 255}));
    // Y 100, C1 166, C2 127: L 135.84, C1 22.18, C2 -18.22; B, G, R = 158.0, 140.8, 117.6.
    EXPECT_EQ(rgb_of(cm, {100, 166, 127}), (Bytes{158, 141, 118}));
}

TEST(ColorManager, GammaTableAppliesToColoursAndGrayPalettes) {
    TColorManager cm;
    configure(cm, {cmRGB, 8, 3, cmBGR, 8, 3, coApplyGamma});
    cm.set_gamma(2.2f);
    EXPECT_EQ(rgb_of(cm, {128, 0, 255}), (Bytes{255, 0, 186}));
    configure(cm, {cmGray, 8, 1, cmGray, 1, 1, coApplyGamma});
    cm.set_gamma(1.0f);
    const auto palette = cm.make_gray_palette(false);
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(palette[1].rgbRed, 255);
}

TEST(ColorManager, GrayPalettesSpreadOverTheTargetDepth) {
    TColorManager cm;
    configure(cm, {cmGray, 8, 1, cmGray, 4});
    auto palette = cm.make_gray_palette(false);
    ASSERT_EQ(palette.size(), 16u);
    EXPECT_EQ(palette[1].rgbGreen, 17);
    EXPECT_EQ(palette[15].rgbBlue, 255);
    configure(cm, {cmGray, 8, 1, cmGray, 1});
    palette = cm.make_gray_palette(true);
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(palette[0].rgbRed, 255);
    EXPECT_EQ(palette[1].rgbRed, 0);
    configure(cm, {cmGray, 16, 1, cmGray, 16});
    EXPECT_EQ(cm.make_gray_palette(false).size(), 256u);
}

TEST(ColorManager, ColourPalettesFromPlanarAndInterleavedMaps) {
    TColorManager cm;
    cm.set_source_options(coNeedByteSwap);
    const Bytes red = {0xFF, 0x00, 0x10, 0x00}, green = {0x00, 0x00, 0x20, 0x00},
                blue = {0x80, 0x00, 0x30, 0x00};
    const uint8_t* planes[3] = {red.data(), green.data(), blue.data()};
    auto palette = cm.create_color_palette(planes, PaletteLayout::Planar, 2, 16);
    EXPECT_EQ(palette[0].rgbRed, 0xFF);
    EXPECT_EQ(palette[0].rgbBlue, 0x80);
    EXPECT_EQ(palette[1].rgbGreen, 0x20);
    const Bytes map = {1, 2, 3};
    const uint8_t* one[1] = {map.data()};
    palette = cm.create_color_palette(one, PaletteLayout::Interleaved, 1, 8);
    EXPECT_EQ(palette[0].rgbRed, 1);
    EXPECT_EQ(palette[0].rgbBlue, 3);
    EXPECT_THROW(cm.create_color_palette(one, PaletteLayout::Planar, 1, 8),
                 toolkit::EColorConversionError);
}

TEST(ColorManager, TargetPixelFormats) {
    using toolkit::PixelFormat;
    struct Row {
        uint8_t samples, bits;
        PixelFormat format;
    };
    const Row rows[] = {
        {1, 1, PixelFormat::Bit1},   {1, 2, PixelFormat::Bit4},   {1, 4, PixelFormat::Bit4},
        {1, 8, PixelFormat::Bit8},   {1, 16, PixelFormat::Bit8},  {3, 5, PixelFormat::Bit15},
        {3, 8, PixelFormat::Bit24},  {3, 16, PixelFormat::Bit24}, {4, 8, PixelFormat::Bit32},
        {4, 4, PixelFormat::Custom}, {2, 8, PixelFormat::Custom}};
    TColorManager cm;
    for (const Row& r : rows) {
        cm.set_target_samples_per_pixel(r.samples);
        cm.set_target_bits_per_sample(r.bits);
        EXPECT_EQ(cm.target_pixel_format(), r.format) << int(r.samples) << " x " << int(r.bits);
    }
}

void expect_message(const std::function<void()>& action, const char* text) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected " << text;
    } catch (const toolkit::EColorConversionError& e) {
        EXPECT_STREQ(e.what(), text);
    }
}

TEST(ColorManager, MessagesAreByteForByte) {
    TColorManager cm;
    const char* depth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
    const char* samples = "Sample count per pixel does not correspond to the given color scheme.";
    expect_message([&] { cm.set_source_bits_per_sample(0); }, depth);
    expect_message([&] { cm.set_target_bits_per_sample(17); }, depth);
    expect_message([&] { cm.set_source_samples_per_pixel(0); }, samples);
    expect_message([&] { cm.set_target_samples_per_pixel(5); }, samples);
    configure(cm, {cmIndexed, 8, 1, cmBGR, 8, 3});
    expect_message([&] { cm.select_converter(); },
                   "Conversion between indexed and non-indexed pixel formats is not supported.");
    configure(cm, {cmRGB, 8, 3, cmGray, 8, 1});
    expect_message(
        [&] {
            rgb_of(cm, {1, 2, 3});
        },
        "Conversion between indexed and non-indexed pixel formats is not supported.");
    const char* none = "Color conversion failed. Could not find a proper method.";
    configure(cm, {cmCMY, 8, 3, cmBGR, 8, 3});
    EXPECT_NO_THROW(cm.select_converter());
    expect_message([&] { rgb_of(cm, {1, 2, 3}); }, none);
    configure(cm, {cmCMYK, 8, 3, cmBGR, 8, 3});  // too few samples for the inks
    expect_message([&] { rgb_of(cm, {1, 2, 3}); }, none);
    configure(cm, {cmRGB, 8, 3, cmBGR, 8, 2});  // a colour target the bitmap cannot store
    expect_message([&] { rgb_of(cm, {1, 2, 3}); }, none);
    configure(cm, {cmRGB, 8, 3, cmBGR, 8, 3});
    const Bytes plane = {1};
    const uint8_t* two[2] = {plane.data(), plane.data()};
    uint8_t out[3];
    expect_message([&] { cm.convert_row(two, out, 1); }, none);  // planar without a blue plane
}

}  // namespace
}  // namespace quorvel::readers
