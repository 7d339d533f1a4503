// TTIFFGraphic on files libtiff's tiffcp and ImageMagick write, in every compression and
// sample layout the reader distinguishes, compared with ImageMagick's own decoding (exact,
// except where a lossy scheme or a colour-space conversion allows a tolerance). Each case
// also says whether the native reader or the libtiff fallback must have produced it.
#include "tiff_test_helpers.h"

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
};

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
    {"planar separate zip predictor", "tiffcp -p separate -c zip:p2 rgb16.tif case.tif", false, 0},
    {"gray 8", "tiffcp -c none gray.tif case.tif", false, 0},
    {"gray 8 min-is-white", "convert gray.pgm -define tiff:photometric=min-is-white -compress none case.tif", false, 0},
    {"gray 16", "tiffcp -c zip:p2 gray16.tif case.tif", false, 0},
    {"gray 4", "convert gray.pgm -depth 4 -compress none case.tif", false, 0},
    {"gray 2", "convert gray.pgm -depth 2 -compress none case.tif", false, 0},
    {"bilevel min-is-black", "tiffcp -c none bw.tif case.tif", false, 0},
    {"bilevel min-is-white", "convert bw.pbm -define tiff:photometric=min-is-white -compress none case.tif", false, 0},
    {"palette", "tiffcp -c packbits few.tif case.tif", false, 0},
    {"rgba", "tiffcp -c zip rgba.tif case.tif", false, 0},
    {"g3 1-D", "tiffcp -c g3 bw.tif case.tif", false, 0},
    {"g3 1-D fill bits", "tiffcp -c g3:1d:fill bw.tif case.tif", false, 0},
    {"g3 2-D", "tiffcp -c g3:2d bw.tif case.tif", false, 0},
    {"g3 2-D fill bits, lsb2msb", "tiffcp -f lsb2msb -c g3:2d:fill -r 9 bw.tif case.tif", false, 0},
    {"jpeg ycbcr", "tiffcp -c jpeg rgb.tif case.tif", false, 8},
    {"jpeg ycbcr 16 rows", "tiffcp -c jpeg -r 16 rgb.tif case.tif", false, 8},
    {"jpeg rgb", "tiffcp -c jpeg:r rgb.tif case.tif", false, 8},
    {"jpeg gray", "tiffcp -c jpeg -r 16 gray.tif case.tif", false, 8},
    {"lzw", "tiffcp -c lzw rgb.tif case.tif", true, 0},
    {"g4", "tiffcp -c g4 bw.tif case.tif", true, 0},
    {"tiled", "tiffcp -t -w 16 -l 16 -c zip rgb.tif case.tif", true, 0},
    {"bigtiff", "tiffcp -8 -c none rgb.tif case.tif", true, 0},
};

class TiffFromTools : public ScratchTest, public ::testing::WithParamInterface<ToolCase> {
protected:
    void SetUp() override {
        for (const char* tool : {"convert", "tiffcp"}) ASSERT_TRUE(testing::have_tool(tool)) << tool;
        testing::write_pnm(dir.file("rgb.ppm"), testing::pattern(kWidth, kHeight, 3, 5));
        testing::write_pnm(dir.file("gray.pgm"), testing::pattern(kWidth, kHeight, 1, 6));
        Picture rgba = testing::pattern(kWidth, kHeight, 4, 7);
        testing::write_pnm(dir.file("rgba.pam"), rgba);
        ASSERT_EQ(shell("convert rgb.ppm -compress none rgb.tif && convert gray.pgm -compress none gray.tif"
                        " && convert rgb.ppm -depth 16 -endian MSB -compress none rgb16.tif"
                        " && convert gray.pgm -depth 16 -compress none gray16.tif"
                        " && convert gray.pgm -threshold 50% bw.pbm && convert bw.pbm -compress none bw.tif"
                        " && convert rgb.ppm -colors 13 -type palette -compress none few.tif"
                        " && convert rgba.pam -compress none rgba.tif"),
                  0);
    }
};

TEST_P(TiffFromTools, MatchesImageMagick) {
    const ToolCase& c = GetParam();
    ASSERT_EQ(shell(c.command), 0) << c.command;
    ASSERT_EQ(shell("convert case.tif -alpha off -depth 8 ppm:reference.ppm"), 0);
    TTIFFGraphic graphic;
    const std::vector<uint8_t> file = bytes("case.tif");
    toolkit::Stream stream(file);
    graphic.LoadFromStream(stream);
    EXPECT_EQ(graphic.loaded_by_fallback(), c.fallback);
    ASSERT_FALSE(graphic.empty());
    EXPECT_LE(rgb_difference(bitmap_rgb(graphic), testing::read_pnm(dir.file("reference.ppm"))), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Cases, TiffFromTools, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

}  // namespace
}  // namespace quorvel::readers::test
