// TIFF writer: the tags and strips it writes (looked at through libtiff), the options it
// refuses, how libtiff's errors reach the user, and what third-party tools read in its files.
#include <gtest/gtest.h>

#include <tiffio.h>

#include "support/record_picture.h"
#include "raster/codecs/codecs.h"
#include "support/recording_presenter.h"

namespace quorvel::raster {
namespace {

using testing::Picture;
using testing::quoted;
using testing::TempDir;

// The tags and first strip of a file, as libtiff reads them.
struct TiffFacts {
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t photometric = 0, samples = 0, bits = 0, compression = 0, orientation = 0, planar = 0;
    bool hasOrientation = false, hasPredictor = false, hasColourMap = false;
    std::vector<uint16_t> extra;
    std::vector<uint16_t> red, green, blue;
    std::vector<uint8_t> strip0;
};

TiffFacts inspect(const std::string& path) {
    TiffFacts f;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(tif, nullptr) << path;
    if (tif == nullptr) return f;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &f.planar);
    f.hasOrientation = TIFFGetField(tif, TIFFTAG_ORIENTATION, &f.orientation) != 0;
    uint16_t predictor = 0;
    f.hasPredictor = TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor) != 0;
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds))
        f.extra.assign(kinds, kinds + count);
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if ((f.hasColourMap = TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) != 0)) {
        const size_t n = size_t{1} << f.bits;
        f.red.assign(r, r + n), f.green.assign(g, g + n), f.blue.assign(b, b + n);
    }
    f.strip0.resize(static_cast<size_t>(TIFFStripSize(tif)));
    EXPECT_GT(TIFFReadEncodedStrip(tif, 0, f.strip0.data(), static_cast<tmsize_t>(f.strip0.size())),
              0);
    TIFFClose(tif);
    return f;
}

// Row y of the picture (top row 0) of a 24-bit record, as red, green, blue.
std::vector<uint8_t> rgb_row(const BMGImage& img, uint32_t y) {
    std::vector<uint8_t> out;
    const uint8_t* row = img.pixels + static_cast<size_t>(img.height - 1 - y) * img.rowBytes;
    for (uint32_t x = 0; x < img.width; ++x)
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    return out;
}

class TiffWrite : public ::testing::Test {
protected:
    void SetUp() override { rgb = testing::record_from(testing::pattern(13, 9, 4, 4), 24); }
    void TearDown() override { ReleaseImageRecord(&rgb); }
    std::string path() const { return dir.file("out.tif"); }
    TempDir dir;
    BMGImage rgb;
    testing::RecordingPresenter presenter;
};

TEST_F(TiffWrite, TruecolourWithDeflateOneRowPerStripTopRowFirst) {
    const TiffFileOptions options{13, 0, 0, 2};
    ASSERT_EQ(WriteTiffFile(path().c_str(), rgb, &options), BMG_OK);
    const TiffFacts f = inspect(path());
    EXPECT_EQ(f.width, 13u);
    EXPECT_EQ(f.height, 9u);
    EXPECT_EQ(f.photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(f.samples, 3);
    EXPECT_EQ(f.bits, 8);
    EXPECT_EQ(f.compression, COMPRESSION_ADOBE_DEFLATE);
    EXPECT_EQ(f.planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(f.rowsPerStrip, 1u);
    EXPECT_TRUE(f.hasOrientation);
    EXPECT_EQ(f.orientation, ORIENTATION_TOPLEFT);
    EXPECT_FALSE(f.hasPredictor);  // the predictor is carried in the options, never written
    EXPECT_EQ(f.strip0, rgb_row(rgb, 0));
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(TiffWrite, CompressionCodesAndTheirTags) {
    const std::pair<int, uint16_t> codes[] = {{0, COMPRESSION_NONE},
                                              {9, COMPRESSION_PACKBITS},
                                              {13, COMPRESSION_ADOBE_DEFLATE},
                                              {12, COMPRESSION_PIXARLOG}};
    for (const auto& [code, tag] : codes) {
        const TiffFileOptions options{static_cast<uint8_t>(code), 0, 0, 0};
        ASSERT_EQ(WriteTiffFile(path().c_str(), rgb, &options), BMG_OK) << code;
        EXPECT_EQ(inspect(path()).compression, tag) << code;
    }
    ASSERT_EQ(WriteTiffFile(path().c_str(), rgb, nullptr), BMG_OK);
    const TiffFacts f = inspect(path());
    EXPECT_EQ(f.compression, COMPRESSION_NONE);
    EXPECT_EQ(f.orientation, ORIENTATION_TOPLEFT);
    EXPECT_EQ(f.strip0, rgb_row(rgb, 0));
}

TEST_F(TiffWrite, RefusesLzwAndCodesPastTheTable) {
    for (uint8_t code : {uint8_t{4}, uint8_t{16}, uint8_t{255}}) {
        const TiffFileOptions options{code, 0, 0, 0};
        EXPECT_EQ(WriteTiffFile(path().c_str(), rgb, &options), BMG_ERR_FORMAT_OPTION) << int{code};
        EXPECT_EQ(GetLastImageError(), BMG_ERR_FORMAT_OPTION);
    }
}

TEST_F(TiffWrite, LibtiffErrorsReachTheUserCaptionedWithTheModule) {
    // CCITT run length cannot encode 24-bit RGB: libtiff's complaint is shown and the strip fails.
    const TiffFileOptions options{1, 0, 0, 0};
    EXPECT_EQ(WriteTiffFile(path().c_str(), rgb, &options), BMG_ERR_WRITE_FILE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_WRITE_FILE);
    ASSERT_FALSE(presenter.messages.empty());
    for (const auto& m : presenter.messages) {
        ASSERT_GE(m.caption.size(), 6u);
        EXPECT_EQ(m.caption.substr(m.caption.size() - 6), " Error") << m.caption;
        EXPECT_FALSE(m.text.empty());
    }
    // JPEG needs strips of 8 rows or more; one-row strips cannot be encoded. libtiff has no
    // encoder for NeXT, ThunderScan and old-style JPEG, though it reports their strips written.
    for (uint8_t code : {uint8_t{6}, uint8_t{5}, uint8_t{7}, uint8_t{10}}) {
        presenter.messages.clear();
        const TiffFileOptions options{code, 0, 0, 0};
        EXPECT_EQ(WriteTiffFile(path().c_str(), rgb, &options), BMG_ERR_WRITE_FILE) << int{code};
        EXPECT_FALSE(presenter.messages.empty()) << int{code};
    }
    presenter.messages.clear();
    EXPECT_EQ(WriteTiffFile(dir.file("no/such/dir/x.tif").c_str(), rgb, nullptr),
              BMG_ERR_NO_MEMORY);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].caption, "TIFFOpen Error");
}

TEST_F(TiffWrite, OneBitGrayIsPackBitsAndItsPhotometricFollowsThePaletteOrder) {
    const std::vector<uint8_t> indexes = {1, 0, 0, 1, 1, 1, 0, 0, 1, 0};
    const TiffFileOptions none{0, 0, 0, 0};
    BMGImage black_white = testing::indexed_record(10, 1, 1, indexes, {{0, 0, 0}, {255, 255, 255}});
    ASSERT_EQ(WriteTiffFile(path().c_str(), black_white, &none), BMG_OK);
    TiffFacts f = inspect(path());
    EXPECT_EQ(f.compression, COMPRESSION_PACKBITS);
    EXPECT_EQ(f.photometric, PHOTOMETRIC_MINISBLACK);
    EXPECT_EQ(f.bits, 1);
    EXPECT_EQ(f.strip0[0], 0x9C);
    EXPECT_EQ(f.strip0[1], 0x80);

    BMGImage white_black = testing::indexed_record(10, 1, 1, indexes, {{255, 255, 255}, {0, 0, 0}});
    ASSERT_EQ(WriteTiffFile(path().c_str(), white_black, &none), BMG_OK);
    f = inspect(path());
    EXPECT_EQ(f.photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(f.strip0[0], 0x9C);
    ReleaseImageRecord(&black_white);
    ReleaseImageRecord(&white_black);
}

TEST_F(TiffWrite, ColourPalettesBecomeAFullColourMap) {
    std::vector<std::array<uint8_t, 3>> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(100 + i),
                           static_cast<uint8_t>(255 - i)});
    BMGImage img = testing::indexed_record(4, 2, 8, {0, 5, 10, 15, 15, 10, 5, 0}, palette);
    ASSERT_EQ(WriteTiffFile(path().c_str(), img, nullptr), BMG_OK);
    const TiffFacts f = inspect(path());
    EXPECT_EQ(f.photometric, PHOTOMETRIC_PALETTE);
    ASSERT_TRUE(f.hasColourMap);
    ASSERT_EQ(f.red.size(), 256u);
    EXPECT_EQ(f.red[3], (255 - 3) * 257);
    EXPECT_EQ(f.green[3], (100 + 3) * 257);
    EXPECT_EQ(f.blue[3], 3 * 257);
    for (size_t i = 16; i < 256; ++i) EXPECT_EQ(f.red[i] | f.green[i] | f.blue[i], 0) << i;
    EXPECT_EQ(f.strip0, (std::vector<uint8_t>{0, 5, 10, 15}));

    // A gray palette that is not the ramp keeps its grays through a colour map too.
    BMGImage grays =
        testing::indexed_record(3, 1, 4, {0, 1, 2}, {{0, 0, 0}, {64, 64, 64}, {255, 255, 255}});
    ASSERT_EQ(WriteTiffFile(path().c_str(), grays, nullptr), BMG_OK);
    EXPECT_EQ(inspect(path()).photometric, PHOTOMETRIC_PALETTE);
    ReleaseImageRecord(&img);
    ReleaseImageRecord(&grays);
}

TEST_F(TiffWrite, AlphaAndRgb555) {
    BMGImage rgba = testing::record_from(testing::pattern(5, 3, 4, 9), 32);
    ASSERT_EQ(WriteTiffFile(path().c_str(), rgba, nullptr), BMG_OK);
    TiffFacts f = inspect(path());
    EXPECT_EQ(f.samples, 4);
    EXPECT_EQ(f.extra, std::vector<uint16_t>{EXTRASAMPLE_UNASSALPHA});
    const uint8_t* top = rgba.pixels + 2 * rgba.rowBytes;
    EXPECT_EQ(f.strip0[0], top[2]);
    EXPECT_EQ(f.strip0[3], top[3]);

    BMGImage r555;
    ClearImageRecord(&r555);
    r555.width = 2, r555.height = 1, r555.bitsPerPixel = 16;
    ASSERT_EQ(AllocateImageRecord(&r555), BMG_OK);
    r555.pixels[0] = 0x1F, r555.pixels[1] = 0x7C;  // red 31, green 0, blue 31
    r555.pixels[2] = 0xE0, r555.pixels[3] = 0x83;  // bit 15 set, green 31
    ASSERT_EQ(WriteTiffFile(path().c_str(), r555, nullptr), BMG_OK);
    f = inspect(path());
    EXPECT_EQ(f.samples, 3);
    EXPECT_EQ(f.strip0, (std::vector<uint8_t>{248, 0, 248, 0, 248, 0}));
    ReleaseImageRecord(&rgba);
    ReleaseImageRecord(&r555);
}

// A bottom-left Orientation tag says the first row stored is the bottom one, so that is what
// the writer stores first; otherwise every reader that honours the tag turns the picture over.
TEST_F(TiffWrite, OrientationOptionAndTheRowsItNames) {
    const TiffFileOptions bottom_left{0, 0, 1, 0};
    ASSERT_EQ(WriteTiffFile(path().c_str(), rgb, &bottom_left), BMG_OK);
    TiffFacts f = inspect(path());
    EXPECT_EQ(f.orientation, ORIENTATION_BOTLEFT);
    EXPECT_EQ(f.strip0, rgb_row(rgb, rgb.height - 1));
    ASSERT_EQ(
        testing::run("convert " + quoted(path()) + " -auto-orient " + quoted(dir.file("o.png"))),
        0);
    EXPECT_EQ(testing::max_difference(testing::magick_decode(dir.file("o.png"), dir.file("ref")),
                                      testing::record_picture(rgb)),
              0);

    const TiffFileOptions no_tag{0, 0, 7, 0};
    ASSERT_EQ(WriteTiffFile(path().c_str(), rgb, &no_tag), BMG_OK);
    f = inspect(path());
    EXPECT_FALSE(f.hasOrientation);
    EXPECT_EQ(f.strip0, rgb_row(rgb, 0));
}

TEST_F(TiffWrite, RefusesRecordsItCannotReadSafely) {
    BMGImage bad = rgb;
    bad.bitsPerPixel = 12;
    EXPECT_EQ(WriteTiffFile(path().c_str(), bad, nullptr), BMG_ERR_BITS_PER_PIXEL);
    bad = rgb;
    bad.rowBytes = 4;
    EXPECT_EQ(WriteTiffFile(path().c_str(), bad, nullptr), BMG_ERR_IMAGE_SIZE);
    bad = rgb;
    bad.height = 0;
    EXPECT_EQ(WriteTiffFile(path().c_str(), bad, nullptr), BMG_ERR_IMAGE_SIZE);
    // Indexes without a palette are gray levels.
    BMGImage gray = testing::indexed_record(3, 1, 8, {0, 128, 255}, {});
    std::free(gray.palette);
    gray.palette = nullptr;
    gray.paletteSize = 0;
    ASSERT_EQ(WriteTiffFile(path().c_str(), gray, nullptr), BMG_OK);
    const TiffFacts f = inspect(path());
    EXPECT_EQ(f.photometric, PHOTOMETRIC_MINISBLACK);
    EXPECT_EQ(f.strip0, (std::vector<uint8_t>{0, 128, 255}));
    ReleaseImageRecord(&gray);
}

// ---------------------------------------------------------------------------------------------

TEST(TiffWriteInterop, ToolsReadWhatTheWriterWrites) {
    TempDir dir;
    for (const char* tool : {"convert", "tiffinfo", "tiffcp", "tifftopnm"})
        ASSERT_TRUE(testing::have_tool(tool)) << tool;
    std::vector<std::array<uint8_t, 3>> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(i * 7),
                           static_cast<uint8_t>(200 - i)});
    std::vector<uint8_t> indexes;
    for (int i = 0; i < 19 * 7; ++i) indexes.push_back(static_cast<uint8_t>((i * 5 + i / 19) % 16));
    std::vector<uint8_t> bits;
    for (int i = 0; i < 19 * 7; ++i) bits.push_back(static_cast<uint8_t>((i / 3 + i / 19) % 2));
    struct Source {
        const char* name;
        BMGImage img;
    };
    std::vector<Source> sources = {
        {"24 bits", testing::record_from(testing::pattern(19, 7, 4, 8), 24)},
        {"32 bits", testing::record_from(testing::pattern(19, 7, 4, 9), 32)},
        {"4-bit palette", testing::indexed_record(19, 7, 4, indexes, palette)},
        {"1-bit", testing::indexed_record(19, 7, 1, bits, {{0, 0, 0}, {255, 255, 255}})},
    };
    const std::pair<uint8_t, const char*> schemes[] = {
        {0, "None"}, {9, "PackBits"}, {13, "Deflate"}};
    for (Source& s : sources) {
        const Picture expected = testing::record_picture(s.img);
        for (const auto& [code, name] : schemes) {
            SCOPED_TRACE(std::string(s.name) + ", " + name);
            const std::string path = dir.file("ours.tif");
            const TiffFileOptions options{code, 0, 0, 0};
            ASSERT_EQ(WriteTiffFile(path.c_str(), s.img, &options), BMG_OK);
            const std::string info = testing::run_output("tiffinfo " + quoted(path) + " 2>&1");
            EXPECT_NE(info.find(s.img.bitsPerPixel == 1 ? "PackBits" : name), std::string::npos)
                << info;
            EXPECT_EQ(info.find("rror"), std::string::npos) << info;
            // tiffcp re-encodes every strip, so it must decode them all.
            ASSERT_EQ(
                testing::run("tiffcp -c none " + quoted(path) + " " + quoted(dir.file("copy.tif"))),
                0);
            EXPECT_EQ(testing::max_difference(
                          testing::magick_decode(dir.file("copy.tif"), dir.file("im")), expected),
                      0);
            EXPECT_EQ(
                testing::max_difference(testing::pillow_decode(path, dir.file("pil")), expected),
                0);
            if (s.img.bitsPerPixel != 32 && s.img.bitsPerPixel != 1) {
                ASSERT_EQ(testing::run("tifftopnm " + quoted(path) + " > " +
                                       quoted(dir.file("n.pnm")) + " 2>/dev/null"),
                          0);
                EXPECT_EQ(
                    testing::max_difference(
                        testing::normalised(testing::read_pnm(dir.file("n.pnm")), true), expected),
                    0);
            }
        }
        ReleaseImageRecord(&s.img);
    }
}

}  // namespace
}  // namespace quorvel::raster
