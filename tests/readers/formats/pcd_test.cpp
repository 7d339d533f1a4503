// Photo CD image packs written by ImageMagick, read at each base resolution and compared with
// ImageMagick's Y, C1, C2 samples put through the same Photo YCC conversion (ImageMagick's
// own conversion to RGB follows other constants);
// rotation and enlargement checked on a hand-made pack.
#include "readers/formats/pcd.h"
#include "readers/reader_classes.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {

// The largest difference of any sample.
int max_difference(const Picture& a, const Picture& b) {
    int most = 0;
    for (size_t i = 0; i < a.samples.size(); ++i)
        most = std::max(most, std::abs(a.samples[i] - b.samples[i]));
    return most;
}

// Interleaved Y, C1, C2 samples to RGB through a colour manager set up as the reader's.
Picture photo_ycc_to_rgb(Picture ycc) {
    readers::TColorManager cm;
    cm.set_source_color_scheme(readers::cmPhotoYCC);
    cm.set_target_color_scheme(readers::cmRGB);
    for (int y = 0; y < ycc.height; ++y) {
        uint8_t* row = ycc.samples.data() + static_cast<size_t>(y) * ycc.width * 3;
        std::vector<uint8_t> out(static_cast<size_t>(ycc.width) * 3);
        const uint8_t* source[1] = {row};
        cm.convert_row(source, out.data(), static_cast<unsigned>(ycc.width));
        std::copy(out.begin(), out.end(), row);
    }
    return ycc;
}

Picture load_pcd(const std::vector<uint8_t>& bytes, int resolution) {
    readers::TPCDGraphic g;
    g.set_resolution(resolution);
    toolkit::Stream s(bytes);
    g.LoadFromStream(s);
    return bitmap_picture(g, false);
}

// An ImageMagick pack of a gradient at the Base size (smooth colours: chroma halved both ways
// then loses little); empty when the tool failed.
std::vector<uint8_t> gradient_pack(
    const testing::TempDir& dir, const std::string& gradient = "'rgb(200,40,20)-rgb(30,160,220)'") {
    const std::string pcd = dir.file("image.pcd");
    EXPECT_EQ(testing::run("convert -size 768x512 gradient:" + gradient + " " + sh_quote(pcd)), 0);
    return testing::read_file(pcd);
}

TEST(PcdReader, BaseResolutionsOfImageMagickPacks) {
    testing::TempDir dir;
    const std::vector<uint8_t> bytes = gradient_pack(dir);
    ASSERT_FALSE(bytes.empty());
    for (int resolution : {0, 1, 2}) {
        SCOPED_TRACE(resolution);
        const std::string size =
            std::to_string(192 << resolution) + "x" + std::to_string(128 << resolution);
        const std::string expected_file = dir.file("expected.ppm");
        ASSERT_EQ(testing::run("convert -size " + size + " " + sh_quote(dir.file("image.pcd")) +
                               " -set colorspace sRGB -depth 8 ppm:" + sh_quote(expected_file)),
                  0);
        const Picture expected = photo_ycc_to_rgb(testing::read_pnm(expected_file));
        const Picture got = load_pcd(bytes, resolution);
        ASSERT_EQ(got.width, expected.width);
        ASSERT_EQ(got.height, expected.height);
        // ImageMagick interpolates the halved chroma; the reader repeats it.
        EXPECT_LE(max_difference(got, expected), 6);
    }
}

// An overview pack (three header sectors, then Base/16 thumbnails) made of an ImageMagick pack's
// Base/16 image: read at index 0 whatever resolution is asked for, it is that image.
TEST(PcdReader, OverviewPacksGiveTheirFirstThumbnail) {
    testing::TempDir dir;
    const std::vector<uint8_t> pack = gradient_pack(dir);
    ASSERT_FALSE(pack.empty());
    std::vector<uint8_t> overview(0x1800, 0);
    std::memcpy(overview.data(), "PCD_OPA", 7);
    overview[11] = 2;  // thumbnails in the pack
    overview.insert(overview.end(), pack.begin() + 0x2000,
                    pack.begin() + 0x2000 + 192 * 128 * 3 / 2);
    overview.insert(overview.end(), 192 * 128 * 3 / 2, 0x80);  // a second, gray one
    const Picture thumbnail = load_pcd(pack, 0);
    for (int resolution : {0, 2}) {
        const Picture got = load_pcd(overview, resolution);
        ASSERT_EQ(got.width, 192);
        ASSERT_EQ(got.height, 128);
        EXPECT_EQ(max_difference(got, thumbnail), 0) << resolution;
    }
}

// An image pack holding only a Base/16 image of one colour but a marked top-left pixel pair.
std::vector<uint8_t> hand_pack(unsigned rotation) {
    std::vector<uint8_t> b(0x2000 + 192 * 128 * 3 / 2, 0);
    std::memcpy(b.data() + 2048, "PCD_IPI", 7);
    b[3586] = static_cast<uint8_t>(rotation);
    for (int pair = 0; pair < 64; ++pair) {
        uint8_t* group = b.data() + 0x2000 + pair * 192 * 3;
        std::memset(group, 60, 384);         // luma
        std::memset(group + 384, 156, 192);  // neutral chroma
    }
    b[0x2000] = 200;  // the top-left pixel is light
    return b;
}

TEST(PcdReader, RotationAndEnlargementOfTheBase) {
    struct Case {
        unsigned rotation;
        int width, height, light_x, light_y;
    };
    const Case cases[] = {
        {0, 192, 128, 0, 0}, {1, 128, 192, 0, 191}, {2, 192, 128, 191, 127}, {3, 128, 192, 127, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        const Picture p = load_pcd(hand_pack(c.rotation), 0);
        ASSERT_EQ(p.width, c.width);
        ASSERT_EQ(p.height, c.height);
        EXPECT_GT(p.at(c.light_x, c.light_y, 1), 200);
        EXPECT_LT(p.at(c.width / 2, c.height / 2, 1), 120);
    }
    // Without the larger bases in the file their resolutions cannot be made.
    EXPECT_THROW(load_pcd(hand_pack(0), 2), toolkit::EInvalidGraphic);
}

TEST(PcdReader, HuffmanResolutionsAreTheBaseEnlarged) {
    testing::TempDir dir;
    const std::vector<uint8_t> bytes = gradient_pack(dir, "red-blue");
    ASSERT_FALSE(bytes.empty());
    const Picture base = load_pcd(bytes, 2), big = load_pcd(bytes, 3);
    ASSERT_EQ(big.width, 1536);
    ASSERT_EQ(big.height, 1024);
    for (int y : {0, 511})
        for (int x : {0, 300, 767})
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(big.at(2 * x + 1, 2 * y + 1, c), base.at(x, y, c));
}

}  // namespace
}  // namespace quorvel::readers_test
