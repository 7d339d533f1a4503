// The JPEG-in-TIFF checks and warnings on tiffcp's JPEG files with one field changed, the EPS
// reader on a DOS EPS file wrapped around a tiffcp TIFF, and the three extensions of the
// registry reaching the TIFF reader.
#include <cstring>

#include "formats/byte_cursor.h"
#include "readers/reader_classes.h"
#include "readers/registry.h"
#include "support/recording_presenter.h"
#include "tiff_test_helpers.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers::test {
namespace {

using formats::le16;
using formats::le32;
using testing::Picture;

// Where value `index` of a tag's entry lies in a little-endian file (inline or at its offset).
size_t value_position(const std::vector<uint8_t>& f, uint16_t tag, unsigned index) {
    const size_t ifd = le32(f, 4);
    for (unsigned i = 0; i < le16(f, ifd); ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (le16(f, entry) != tag) continue;
        const uint16_t type = le16(f, entry + 2);
        const unsigned size = type == 3 ? 2 : type == 4 ? 4 : 1;
        const size_t bytes = size_t{size} * le32(f, entry + 4);
        return (bytes <= 4 ? entry + 8 : le32(f, entry + 8)) + size_t{size} * index;
    }
    ADD_FAILURE() << "no tag " << tag;
    return 0;
}

void set_short(std::vector<uint8_t>& f, uint16_t tag, unsigned index, uint16_t value) {
    const size_t at = value_position(f, tag, index);
    f[at] = static_cast<uint8_t>(value), f[at + 1] = static_cast<uint8_t>(value >> 8);
}

class JpegInTiff : public ScratchTest {
protected:
    void SetUp() override {
        testing::write_pnm(dir.file("rgb.ppm"), testing::pattern(40, 32, 3, 3));
        ASSERT_EQ(
            shell(
                "convert rgb.ppm -compress none rgb.tif && tiffcp -c jpeg -r 32 rgb.tif case.tif"),
            0);
        file = bytes("case.tif");
    }

    std::string error() {
        TTIFFGraphic graphic;
        toolkit::Stream stream(file);
        try {
            graphic.LoadFromStream(stream);
        } catch (const toolkit::EGraphicCompression& e) {
            EXPECT_TRUE(graphic.empty());
            return e.what();
        }
        return "";
    }

    std::vector<uint8_t> file;
};

TEST_F(JpegInTiff, ChecksTheStripAgainstTheImage) {
    const std::vector<uint8_t> original = file;
    struct Change {
        const char* expected;
        void (*apply)(std::vector<uint8_t>&);
    };
    const Change changes[] = {
        {"Improper JPEG data precision.",
         [](std::vector<uint8_t>& f) {
             for (unsigned i = 0; i < 3; ++i) set_short(f, 258, i, 16);
         }},
        {"Improper JPEG strip/tile size.",
         [](std::vector<uint8_t>& f) { set_short(f, 256, 0, 39); }},
        {"Bogus JPEG tables field.",
         [](std::vector<uint8_t>& f) { f[value_position(f, 347, 0) + 1] = 0x00; }},
    };
    for (const Change& change : changes) {
        file = original;
        change.apply(file);
        EXPECT_EQ(error(), change.expected);
    }
}

TEST_F(JpegInTiff, YCbCrStripsMustHaveTheSubsamplingOfTheDirectory) {
    ASSERT_EQ(shell("tiffcp -c jpeg:r -r 32 rgb.tif rgb_jpeg.tif"), 0);
    file = bytes("rgb_jpeg.tif");
    set_short(file, 262, 0, 6);  // YCbCr without a YCbCrSubSampling field: 2 x 2, the strips 1 x 1
    EXPECT_EQ(error(), "Improper JPEG sampling factors.");
}

TEST_F(JpegInTiff, StripThatEndsEarlyWarnsAndLoads) {
    const size_t count = value_position(file, 279, 0);
    const uint32_t shortened = le32(file, count) / 2;
    for (int i = 0; i < 4; ++i) file[count + i] = static_cast<uint8_t>(shortened >> (8 * i));
    testing::RecordingPresenter presenter;
    TTIFFGraphic graphic;
    toolkit::Stream stream(file);
    graphic.LoadFromStream(stream);
    EXPECT_FALSE(graphic.empty());
    bool warned = false;
    for (const auto& m : presenter.messages) {
        EXPECT_EQ(m.caption, "Warning");
        warned = warned || m.text == "JPEG decompression error. Unexpected end of input.";
    }
    EXPECT_TRUE(warned);
}

// A DOS EPS file: the 30-byte header, a little PostScript, then the TIFF preview.
std::vector<uint8_t> eps_around(const std::vector<uint8_t>& tiff, uint32_t tiff_offset_shift = 0) {
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 40 32\nshowpage\n";
    std::vector<uint8_t> out = {0xC5, 0xD0, 0xD3, 0xC6};
    const uint32_t ps_offset = 30, tiff_offset = ps_offset + uint32_t(postscript.size());
    for (uint32_t v : {ps_offset, uint32_t(postscript.size()), 0u, 0u,
                       tiff_offset + tiff_offset_shift, uint32_t(tiff.size())})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    out.insert(out.end(), {0xFF, 0xFF});
    out.insert(out.end(), postscript.begin(), postscript.end());
    out.insert(out.end(), tiff.begin(), tiff.end());
    return out;
}

class EpsPreview : public ScratchTest {};

TEST_F(EpsPreview, LoadsTheEmbeddedTiff) {
    testing::write_pnm(dir.file("rgb.ppm"), testing::pattern(40, 32, 3, 4));
    ASSERT_EQ(
        shell("convert rgb.ppm -compress none rgb.tif && tiffcp -c zip:p2 rgb.tif preview.tif"), 0);
    const std::vector<uint8_t> eps = eps_around(bytes("preview.tif"));
    const auto made = eps_graphic_class().make();
    auto& graphic = dynamic_cast<TTIFFGraphic&>(*made);
    toolkit::Stream stream(eps);
    EXPECT_TRUE(graphic.can_load_stream(stream));
    graphic.LoadFromStream(stream);
    EXPECT_EQ(rgb_difference(bitmap_rgb(graphic), testing::read_pnm(dir.file("rgb.ppm"))), 0);
}

TEST_F(EpsPreview, RefusesPreviewsOutsideTheFileWithItsOwnName) {
    testing::write_pnm(dir.file("gray.pgm"), testing::pattern(8, 8, 1, 4));
    ASSERT_EQ(shell("convert gray.pgm -compress none preview.tif"), 0);
    const std::vector<uint8_t> cases[] = {eps_around(bytes("preview.tif"), 1),
                                          {0xC5, 0xD0, 0xD3, 0xC6, 0, 0},
                                          std::vector<uint8_t>(40, 0)};
    for (const std::vector<uint8_t>& eps : cases) {
        const auto made = eps_graphic_class().make();
        auto& graphic = dynamic_cast<TTIFFGraphic&>(*made);
        toolkit::Stream stream(eps);
        EXPECT_FALSE(graphic.can_load_stream(stream));
        EXPECT_THROW(
            {
                try {
                    graphic.LoadFromStream(stream);
                } catch (const toolkit::EInvalidGraphic& e) {
                    EXPECT_STREQ(e.what(),
                                 "Cannot load image. Invalid or unexpected EPS image format.");
                    throw;
                }
            },
            toolkit::EInvalidGraphic);
    }
}

TEST_F(EpsPreview, ExtensionsReachTheReaders) {
    file_format_list();
    testing::write_pnm(dir.file("gray.pgm"), testing::pattern(9, 7, 1, 2));
    ASSERT_EQ(shell("convert gray.pgm -compress none a.tif"), 0);
    const std::vector<uint8_t> tiff = bytes("a.tif");
    const Picture expected = testing::normalised(testing::read_pnm(dir.file("gray.pgm")));
    for (const char* name : {"x.tif", "x.TIFF", "x.fax", "x.eps"}) {
        toolkit::Picture picture;
        picture.load_from_memory(name, std::string(name) == "x.eps" ? eps_around(tiff) : tiff);
        auto* bitmap = dynamic_cast<toolkit::Bitmap*>(picture.graphic());
        ASSERT_NE(bitmap, nullptr) << name;
        EXPECT_EQ(rgb_difference(bitmap_rgb(*bitmap), expected), 0) << name;
    }
}

}  // namespace
}  // namespace quorvel::readers::test
