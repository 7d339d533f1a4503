// TTIFFGraphic on files libtiff's tiffcp and ImageMagick write, in every compression and
// sample layout the reader distinguishes, compared with ImageMagick's own decoding (exact,
// except where a lossy scheme or a colour-space conversion allows a tolerance). Each case
// also says whether the native reader or the libtiff fallback must have produced it.
#include "tiff_test_helpers.h"

#include <tiffio.h>

#include "support/recording_presenter.h"

#include "toolkit/graphic_errors.h"

namespace quorvel::readers::test {
namespace {

using testing::Picture;

constexpr int kWidth = 45;
constexpr int kHeight = 29;

struct ToolCase {
    const char* name;
    const char* command;  // writes case.tif in the scratch directory
    bool fallback;        // must come through libtiff
    int tolerance;
    // How the reference picture is made: ImageMagick divides 16-bit colour maps by 257, libtiff
    // (and this reader) keep the high byte, so palettes are judged by tiff2rgba.
    const char* reference = "convert case.tif -alpha off -depth 8 ppm:reference.ppm";
};

constexpr const char* kLibtiffReference =
    "tiff2rgba case.tif rgba_ref.tif && convert rgba_ref.tif -alpha off -depth 8 ppm:reference.ppm";

// rgb.tif, rgb16.tif (big-endian), gray.tif, gray16.tif, bw.tif, few.tif and rgba.tif are
// made once in SetUp.
const ToolCase kCases[] = {
    {"none", "tiffcp -c none rgb.tif case.tif", false, 0},
    {"packbits", "tiffcp -c packbits rgb.tif case.tif", false, 0},
    {"zip", "tiffcp -c zip rgb.tif case.tif", false, 0},
    {"zip predictor", "tiffcp -c zip:p2 rgb.tif case.tif", false, 0},
    {"rows per strip 5", "tiffcp -c zip:p2 -r 5 rgb.tif case.tif", false, 0},
    {"adobe deflate", "convert rgb.ppm -compress zip case.tif", false, 0},
    {"16-bit MM", "tiffcp -c none rgb16.tif case.tif", false, 0},
    {"16-bit MM zip predictor", "tiffcp -c zip:p2 rgb16.tif case.tif", false, 0},
    {"16-bit II zip predictor", "tiffcp -L -c zip:p2 rgb16.tif case.tif", false, 0},
    {"planar separate", "tiffcp -p separate -c none rgb.tif case.tif", false, 0},
    {"planar separate packbits", "tiffcp -p separate -c packbits -r 7 rgb.tif case.tif", false, 0},
    {"planar separate 16-bit MM zip predictor", "cp planar16_mm.tif case.tif", false, 0},
    {"planar separate 16-bit II zip predictor", "cp planar16_ii.tif case.tif", false, 0},
    {"gray 8", "tiffcp -c none gray.tif case.tif", false, 0},
    {"gray 8 min-is-white",
     "convert gray.pgm -define tiff:photometric=min-is-white -compress none case.tif", false, 0},
    {"gray 16", "tiffcp -c zip:p2 gray16.tif case.tif", false, 0},
    {"gray 4", "convert gray.pgm -depth 4 -compress none case.tif", false, 0},
    {"gray 2", "convert gray.pgm -depth 2 -compress none case.tif", false, 0},
    {"bilevel min-is-black", "tiffcp -c none bw.tif case.tif", false, 0},
    {"bilevel min-is-white",
     "convert bw.pbm -define tiff:photometric=min-is-white -compress none case.tif", false, 0},
    {"bilevel lsb2msb", "tiffcp -f lsb2msb -c none bw.tif case.tif", false, 0},
    {"bilevel lsb2msb packbits", "tiffcp -f lsb2msb -c packbits bw.tif case.tif", false, 0},
    {"palette", "tiffcp -c packbits few.tif case.tif", false, 0, kLibtiffReference},
    {"palette 4-bit", "convert rgb.ppm -colors 9 -type palette -depth 4 -compress none case.tif",
     false, 0, kLibtiffReference},
    {"rgba", "tiffcp -c zip rgba.tif case.tif", false, 0},
    {"gray with alpha",
     "convert gray.pgm -alpha set -channel A -fx 'i/w' +channel -compress zip case.tif", false, 0},
    {"cmyk", "convert rgb.ppm -colorspace CMYK -compress none case.tif", false, 1},
    {"cmyk 16-bit zip predictor",
     "convert rgb.ppm -colorspace CMYK -depth 16 -compress zip -define tiff:predictor=2 case.tif",
     false, 1},
    // libtiff's and ImageMagick's own L*a*b* decodings differ from each other by 20 levels:
    // the picture the file was made from is the judge, in mid tones. Whole steps of 8-bit
    // L*a*b* move a channel by up to 10 there; swapped or unsigned a* and b* move it by 50+.
    {"cie lab", "convert mid.ppm -colorspace Lab -compress none case.tif", false, 10,
     "cp mid.ppm reference.ppm"},
    {"ycbcr",
     "/usr/bin/python3 -c \"from PIL import Image; "
     "Image.open('rgb.ppm').convert('YCbCr').save('case.tif')\"",
     false, 3},
    // ImageMagick misreads uncompressed subsampled YCbCr; libtiff is the judge.
    {"ycbcr 2x2 bands", "cp ycbcr22.tif case.tif", false, 1, kLibtiffReference},
    {"ycbcr 4x2 bands, 5 rows a strip", "cp ycbcr42.tif case.tif", false, 1, kLibtiffReference},
    {"ycbcr 4x1 bands", "cp ycbcr41.tif case.tif", false, 1, kLibtiffReference},
    {"g3 1-D", "tiffcp -c g3 bw.tif case.tif", false, 0},
    {"g3 1-D fill bits", "tiffcp -c g3:1d:fill bw.tif case.tif", false, 0},
    {"g3 2-D", "tiffcp -c g3:2d bw.tif case.tif", false, 0},
    {"g3 2-D fill bits, lsb2msb", "tiffcp -f lsb2msb -c g3:2d:fill -r 9 bw.tif case.tif", false, 0},
    {"jpeg ycbcr", "tiffcp -c jpeg rgb.tif case.tif", false, 8},
    {"jpeg ycbcr 16 rows", "tiffcp -c jpeg -r 16 rgb.tif case.tif", false, 8},
    {"jpeg rgb", "tiffcp -c jpeg:r rgb.tif case.tif", false, 8},
    {"jpeg gray", "tiffcp -c jpeg -r 16 gray.tif case.tif", false, 8},
    // The planes of a planar file are one-component JPEG streams, in red, green, blue order.
    {"jpeg planar", "tiffcp -p separate -c jpeg:r -r 16 rgb.tif case.tif", false, 8},
    {"jpeg planar imagemagick", "convert rgb.ppm -interlace plane -compress JPEG case.tif", false,
     8},
    {"lzw", "tiffcp -c lzw rgb.tif case.tif", true, 0},
    // The fallback follows the native rules: alpha dropped (not blended), Orientation not applied.
    {"lzw rgba", "tiffcp -c lzw rgba.tif case.tif", true, 0},
    {"lzw planar rgba", "tiffcp -p separate -c lzw rgba.tif case.tif", true, 0},
    {"lzw orientation", "convert rgb.ppm -orient bottom-right -compress lzw case.tif", true, 0},
    // Samples no native converter takes, scaled to 8 bits: 12-bit by their high bits, floating
    // point over SMinSampleValue..SMaxSampleValue or, without them, 0..1 or 0..255.
    {"gray 12", "convert gray.pgm -depth 12 -compress none case.tif", true, 1},
    {"rgb 12 lzw", "convert rgb.ppm -depth 12 -compress lzw case.tif", true, 1},
    {"float rgb lzw",
     "convert rgb.ppm -depth 32 -define quantum:format=floating-point -compress lzw case.tif", true,
     1},
    {"float gray zip",
     "convert gray.pgm -depth 32 -define quantum:format=floating-point -compress zip case.tif",
     true, 1},
    {"float gray pillow",
     "/usr/bin/python3 -c \"from PIL import Image; "
     "Image.open('gray.pgm').convert('F').save('case.tif')\"",
     true, 0, "convert gray.pgm ppm:reference.ppm"},
    {"g4", "tiffcp -c g4 bw.tif case.tif", true, 0},
    {"tiled", "tiffcp -t -w 16 -l 16 -c zip rgb.tif case.tif", true, 0},
    {"bigtiff", "tiffcp -8 -c none rgb.tif case.tif", true, 0},
};

class TiffFromTools : public ScratchTest, public ::testing::WithParamInterface<ToolCase> {
protected:
    void SetUp() override {
        for (const char* tool : {"convert", "tiffcp"})
            ASSERT_TRUE(testing::have_tool(tool)) << tool;
        testing::write_pnm(dir.file("rgb.ppm"), testing::pattern(kWidth, kHeight, 3, 5));
        testing::write_pnm(dir.file("gray.pgm"), testing::pattern(kWidth, kHeight, 1, 6));
        Picture mid = testing::pattern(kWidth, kHeight, 3, 10);
        for (uint8_t& v : mid.samples) v = static_cast<uint8_t>(64 + v / 2);
        testing::write_pnm(dir.file("mid.ppm"), mid);
        Picture rgba = testing::pattern(kWidth, kHeight, 4, 7);
        testing::write_pnm(dir.file("rgba.pam"), rgba);
        ASSERT_EQ(
            shell(
                "convert rgb.ppm -compress none rgb.tif && convert gray.pgm -compress none gray.tif"
                " && convert rgb.ppm -depth 16 -endian MSB -compress none rgb16.tif"
                " && convert gray.pgm -depth 16 -compress none gray16.tif"
                " && convert gray.pgm -threshold 50% bw.pbm && convert bw.pbm -compress none bw.tif"
                " && convert rgb.ppm -colors 13 -type palette -compress none few.tif"
                " && convert rgba.pam -compress none rgba.tif"),
            0);
        write_planar16(dir.file("planar16_mm.tif"), "wb", testing::pattern(kWidth, kHeight, 3, 8));
        write_planar16(dir.file("planar16_ii.tif"), "wl", testing::pattern(kWidth, kHeight, 3, 9));
        write_ycbcr_bands(dir.file("ycbcr22.tif"), 2, 2, kHeight);
        write_ycbcr_bands(dir.file("ycbcr42.tif"), 4, 2, 5);
        write_ycbcr_bands(dir.file("ycbcr41.tif"), 4, 1, 7);
    }

    // Uncompressed YCbCr in bands of H x V luma samples and one Cb, Cr pair, written by libtiff
    // (no tool here subsamples without JPEG). Arbitrary samples: the reference is libtiff's.
    static void write_ycbcr_bands(const std::string& path, uint16_t h, uint16_t v,
                                  uint32_t rows_per_strip) {
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(kWidth));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(kHeight));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, h, v);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
        const uint32_t blocks = (kWidth + h - 1) / h, band = blocks * (h * v + 2);
        uint32_t strip = 0;
        for (uint32_t y = 0; y < uint32_t(kHeight); y += rows_per_strip, ++strip) {
            const uint32_t bands = (std::min<uint32_t>(rows_per_strip, kHeight - y) + v - 1) / v;
            std::vector<uint8_t> data(size_t{bands} * band);
            for (size_t i = 0; i < data.size(); ++i) {
                const bool chroma = i % (h * v + 2) >= size_t{h} * v;
                data[i] = static_cast<uint8_t>(chroma ? 128 + (i * 7 + y) % 60 - 30
                                                      : 40 + (i * 13 + y * 5) % 170);
            }
            ASSERT_GE(TIFFWriteRawStrip(tif, strip, data.data(), tmsize_t(data.size())), 0);
        }
        TIFFClose(tif);
    }

    // 16-bit RGB in separate planes, Deflate with horizontal differencing, written by libtiff
    // itself (tiffcp only separates 8-bit samples). Sample = 8-bit value * 257, whose differences
    // carry from the low byte into the high one.
    static void write_planar16(const std::string& path, const char* mode, const Picture& rgb) {
        TIFF* tif = TIFFOpen(path.c_str(), mode);
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(rgb.width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(rgb.height));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 6);
        std::vector<uint16_t> row(rgb.width);
        for (uint16_t plane = 0; plane < 3; ++plane)
            for (int y = 0; y < rgb.height; ++y) {
                for (int x = 0; x < rgb.width; ++x)
                    row[x] = static_cast<uint16_t>(rgb.at(x, y, plane) * 257);
                ASSERT_EQ(TIFFWriteScanline(tif, row.data(), uint32_t(y), plane), 1);
            }
        TIFFClose(tif);
    }
};

TEST_P(TiffFromTools, MatchesImageMagick) {
    const ToolCase& c = GetParam();
    ASSERT_EQ(shell(c.command), 0) << c.command;
    ASSERT_EQ(shell(c.reference), 0);
    TTIFFGraphic graphic;
    const std::vector<uint8_t> file = bytes("case.tif");
    toolkit::Stream stream(file);
    graphic.LoadFromStream(stream);
    EXPECT_EQ(graphic.loaded_by_fallback(), c.fallback);
    ASSERT_FALSE(graphic.empty());
    EXPECT_LE(rgb_difference(bitmap_rgb(graphic), testing::read_pnm(dir.file("reference.ppm"))),
              c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Cases, TiffFromTools, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

}  // namespace
}  // namespace quorvel::readers::test

namespace quorvel::readers::test {
namespace {

// Every prefix of files in each decoder's scheme (and one for the fallback) loads or fails
// with a graphic error kind; nothing else, and never a read past the bytes.
class TiffTruncation : public ScratchTest {};

TEST_F(TiffTruncation, EveryPrefixLoadsOrFailsCleanly) {
    testing::write_pnm(dir.file("rgb.ppm"), testing::pattern(19, 11, 3, 2));
    ASSERT_EQ(
        shell(
            "convert rgb.ppm -compress none rgb.tif && convert rgb.ppm -colorspace gray -threshold "
            "50% bw.pbm && convert bw.pbm -compress none bw.tif"
            " && tiffcp -c jpeg -r 16 rgb.tif a.tif && tiffcp -c zip:p2 -r 3 rgb.tif b.tif"
            " && tiffcp -c g3:2d -r 4 bw.tif c.tif && tiffcp -p separate -c packbits rgb.tif d.tif"
            " && tiffcp -c lzw bw.tif e.tif"),
        0);
    testing::RecordingPresenter presenter;  // JPEG warnings
    for (const char* name : {"a.tif", "b.tif", "c.tif", "d.tif", "e.tif"}) {
        const std::vector<uint8_t> file = bytes(name);
        for (size_t length = 0; length <= file.size(); ++length) {
            const std::vector<uint8_t> prefix(file.begin(),
                                              file.begin() + static_cast<long>(length));
            TTIFFGraphic graphic;
            toolkit::Stream stream(prefix);
            try {
                graphic.LoadFromStream(stream);
                if (!graphic.empty()) graphic.set_pixel_format(toolkit::PixelFormat::Bit24);
            } catch (const toolkit::GraphicError&) {
                EXPECT_TRUE(graphic.empty()) << name << " " << length;
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::readers::test
