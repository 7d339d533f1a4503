// Encode, then decode with our own decoder: sizes, resolution, comment and image quality.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<uint8_t>;

using Image = testing::GrayImage;

Bytes encode_ok(const Image& im, float r, const char* comment, int ppi) {
    DiagCapture quiet;
    unsigned char* data = nullptr;
    int len = 0;
    EXPECT_EQ(wsq_encode_1(&data, &len, r, im.px.data(), im.w, im.h, 8, ppi, comment), 0)
        << quiet.text();
    Bytes out(data, data + len);
    std::free(data);
    return out;
}

struct Decoded {
    Image image;
    int depth = 0, ppi = 0, lossy = 0;
    std::string comment;
};

Decoded decode_ok(const Bytes& stream) {
    DiagCapture quiet;
    Decoded d;
    unsigned char* data = nullptr;
    EXPECT_EQ(wsq_decode_mem(&data, &d.image.w, &d.image.h, &d.depth, &d.ppi, &d.lossy,
                             stream.data(), static_cast<int>(stream.size())),
              0)
        << quiet.text();
    if (data != nullptr) {
        d.image.px.assign(data, data + static_cast<size_t>(d.image.w) * d.image.h);
        std::free(data);
    }
    char* comment = nullptr;
    EXPECT_EQ(scan_comments(stream.data(), stream.size(), &comment), 0);
    if (comment != nullptr) {
        d.comment = comment;
        std::free(comment);
    }
    return d;
}

double psnr(const Bytes& a, const Bytes& b) {
    double err = 0;
    for (size_t i = 0; i < a.size(); ++i) err += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    if (err == 0) return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 / (err / a.size()));
}

Image ridges(int w, int h, uint32_t seed) { return testing::ridge_image(w, h, seed); }

TEST(RoundTrip, SizesResolutionAndQualityAtBothBitrates) {
    const Image im = ridges(500, 550, 17);
    const Bytes low = encode_ok(im, 0.75f, nullptr, 500);
    const Bytes high = encode_ok(im, 2.25f, nullptr, 500);
    const Decoded a = decode_ok(low), b = decode_ok(high);
    for (const Decoded* d : {&a, &b}) {
        EXPECT_EQ(d->image.w, 500);
        EXPECT_EQ(d->image.h, 550);
        EXPECT_EQ(d->ppi, 500);
        EXPECT_EQ(d->depth, 8);
        EXPECT_EQ(d->lossy, 1);
    }
    const double pa = psnr(im.px, a.image.px), pb = psnr(im.px, b.image.px);
    // The generator's sensor noise caps the quality of this image.
    EXPECT_GT(pa, 26.0) << pb;
    EXPECT_GT(pb, 31.0) << pa;
    EXPECT_GT(pb, pa + 3.0);
}

TEST(RoundTrip, OddSizesAtTheFilterBankMinimumAndBeyond) {
    for (const auto& [w, h] :
         {std::pair{81, 81}, std::pair{301, 299}, std::pair{545, 622}, std::pair{800, 750}}) {
        const Image im = ridges(w, h, w + h);
        const Decoded d = decode_ok(encode_ok(im, 2.25f, nullptr, -1));
        ASSERT_EQ(d.image.w, w);
        ASSERT_EQ(d.image.h, h);
        EXPECT_EQ(d.ppi, -1);
        EXPECT_GT(psnr(im.px, d.image.px), 30.0) << w << " x " << h;
    }
}

TEST(RoundTrip, CommentsComeBackAsTheLastCommentBeforeTheFirstBlock) {
    const Image im = ridges(200, 220, 2);
    const Decoded none = decode_ok(encode_ok(im, 0.75f, nullptr, 500));
    EXPECT_EQ(none.comment.rfind("NIST_COM 9\nPIX_WIDTH 200\nPIX_HEIGHT 220\n", 0), 0u);
    const Decoded plain = decode_ok(encode_ok(im, 0.75f, "right index, rolled", 500));
    EXPECT_EQ(plain.comment, "right index, rolled");
    EXPECT_EQ(plain.ppi, 500);
    const Decoded nist = decode_ok(encode_ok(im, 0.75f, "NIST_COM 3\nPPI 1000\nFINGER 7", 500));
    // The encoder's attributes replace the caller's: the stream says 500 ppi.
    EXPECT_EQ(nist.ppi, 500);
    EXPECT_NE(nist.comment.find("FINGER 7"), std::string::npos);
    EXPECT_NE(nist.comment.find("PPI 500"), std::string::npos);
}

TEST(RoundTrip, FlatImageDecodesToItsValueEverywhere) {
    Image im{120, 100, Bytes(120 * 100, 77)};
    const Decoded d = decode_ok(encode_ok(im, 0.75f, nullptr, 500));
    ASSERT_EQ(d.image.px.size(), im.px.size());
    for (uint8_t p : d.image.px) ASSERT_EQ(p, 77);
}

TEST(RoundTrip, RealFingerprintsWhenPresent) {
    // ../shared beside the repository (tests/data need not exist: go up lexically).
    const std::filesystem::path repo =
        std::filesystem::path(QUORVEL_TEST_DATA).parent_path().parent_path();
    const std::filesystem::path dir = repo.parent_path() / "shared/data/fingerprints";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no real fingerprints here";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".pgm") continue;
        const quorvel::testing::Picture pic = quorvel::testing::read_pnm(entry.path().string());
        const Image im{pic.width, pic.height, pic.samples};
        double quality[2] = {};
        for (int i = 0; i < 2; ++i) {
            const Decoded d = decode_ok(encode_ok(im, i == 0 ? 0.75f : 2.25f, nullptr, 500));
            ASSERT_EQ(d.image.w, im.w);
            ASSERT_EQ(d.image.h, im.h);
            quality[i] = psnr(im.px, d.image.px);
        }
        EXPECT_GT(quality[0], 25.0) << entry.path();
        EXPECT_GT(quality[1], 31.0) << entry.path();
        EXPECT_GT(quality[1], quality[0] + 3.0) << entry.path();
        ++seen;
    }
    EXPECT_GT(seen, 0);
}

}  // namespace
}  // namespace quorvel::wsq
