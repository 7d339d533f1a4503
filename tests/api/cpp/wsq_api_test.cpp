// The C++ API against the codec the C exports run: the same stream bytes and pixels, the
// stream's facts in the image, failures as quorvel::Error with the codec's code and lines,
// and nothing written to standard error.
#include <quorvel/quorvel.h>
#include <quorvel/quorvel.hpp>
#include <quorvel/version.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "support/ridge_pattern.h"
#include "wsq/encoder.h"
#include "wsq/wsq.h"

namespace {

using quorvel::testing::ridge_pattern;

std::vector<uint8_t> export_encode(std::vector<uint8_t>& pixels, int w, int h, double bitrate,
                                   int ppi, const char* comment) {
    unsigned char* out = nullptr;
    int length = 0;
    ::testing::internal::CaptureStderr();
    quorvel::wsq::wsq_encode_1(&out, &length, static_cast<float>(bitrate), pixels.data(), w, h, 8,
                               ppi, comment);
    ::testing::internal::GetCapturedStderr();
    std::vector<uint8_t> bytes(out, out + length);
    std::free(out);
    return bytes;
}

const std::vector<uint8_t>& sample() {
    static const std::vector<uint8_t> pixels = ridge_pattern(300, 280, 7);
    return pixels;
}

TEST(CppWsq, StreamsMatchTheProcessWideEncoderByteForByte) {
    struct Case {
        double bitrate;
        int ppi;
        std::optional<std::string> comment;
    };
    for (const Case& c :
         {Case{0.75, 500, std::nullopt}, Case{2.25, 1000, "left thumb"}, Case{0.3, -1, ""}}) {
        std::vector<uint8_t> pixels = sample();
        const auto expected = export_encode(pixels, 300, 280, c.bitrate, c.ppi,
                                            c.comment ? c.comment->c_str() : nullptr);
        const auto stream = quorvel::encode(pixels, 300, 280, {c.bitrate, c.ppi, c.comment});
        EXPECT_EQ(stream, expected) << c.bitrate;
    }
}

TEST(CppWsq, DecodeGivesPixelsResolutionCommentAndAttributes) {
    const auto stream = quorvel::encode(sample(), 300, 280, {2.25, 333, "scan 17"});
    const quorvel::Image image = quorvel::decode(stream);
    EXPECT_EQ(image.width, 300);
    EXPECT_EQ(image.height, 280);
    EXPECT_EQ(image.ppi, 333);
    EXPECT_EQ(image.comment, "scan 17");
    ASSERT_EQ(image.pixels.size(), 300u * 280u);

    unsigned char* pixels = nullptr;
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    ASSERT_EQ(quorvel::wsq::wsq_decode_mem(&pixels, &w, &h, &d, &ppi, &lossy, stream.data(),
                                           static_cast<int>(stream.size())),
              0);
    EXPECT_EQ(image.pixels, std::vector<uint8_t>(pixels, pixels + w * h));
    std::free(pixels);

    std::map<std::string, std::optional<std::string>> attributes;
    for (const auto& a : image.attributes) attributes[a.name] = a.value;
    EXPECT_EQ(attributes["PIX_WIDTH"], "300");
    EXPECT_EQ(attributes["PIX_HEIGHT"], "280");
    EXPECT_EQ(attributes["PPI"], "333");
    EXPECT_EQ(attributes["COLORSPACE"], "GRAY");
}

TEST(CppWsq, WithoutAUserCommentTheImageHasNone) {
    const quorvel::Image image = quorvel::decode(quorvel::encode(sample(), 300, 280));
    EXPECT_FALSE(image.comment.has_value());
    EXPECT_FALSE(image.attributes.empty());
}

TEST(CppWsq, InfoListsTheSegmentsTheEncoderWrote) {
    const auto stream = quorvel::encode(sample(), 300, 280, {0.75, 500, "x"});
    const quorvel::StreamInfo info = quorvel::info(stream);
    std::string names;
    for (const auto& s : info.segments) names += s.name + " ";
    EXPECT_EQ(names, "SOI COM COM DTT DQT SOF DHT SOB DHT SOB SOB EOI ");
    ASSERT_TRUE(info.frame.has_value());
    EXPECT_EQ(info.frame->width, 300);
    EXPECT_EQ(info.frame->height, 280);
    EXPECT_EQ(info.block_tables, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(info.comments.size(), 2u);
    EXPECT_EQ(info.segments.back().offset, stream.size() - 2);
}

// Each failure: the code, a piece of the message, and the call.
struct Failure {
    const char* name;
    int code;
    const char* message;
    std::function<void()> call;
};

std::vector<Failure> failures() {
    static const std::vector<uint8_t> tiny(40 * 40, 128);
    static const std::vector<uint8_t> stream = quorvel::encode(sample(), 300, 280);
    static const std::vector<uint8_t> cut(stream.begin(), stream.begin() + stream.size() / 2);
    static const std::vector<uint8_t> junk = {0x12, 0x34, 0x56, 0x78};
    return {
        {"too small", quorvel::wsq::kEncodeTooSmall,
         "encode: ERROR : wsq_encode_1 : image too small : 40 x 40",
         [] { quorvel::encode(tiny, 40, 40); }},
        {"size mismatch", quorvel::kInvalidArgument, "encode: 1600 pixels for a 50 x 40 image",
         [] { quorvel::encode(tiny, 50, 40); }},
        {"null pixels", quorvel::kInvalidArgument, "encode: no pixels",
         [] { quorvel::encode(nullptr, 100, 100); }},
        {"nan bitrate", quorvel::wsq::kEncodeBadBitrate, "not a number",
         [] {
             quorvel::encode(sample(), 300, 280, {std::nan(""), 500, {}});
         }},
        {"no threads", quorvel::kInvalidArgument, "encode: 0 threads",
         [] {
             quorvel::EncodeOptions options;
             options.threads = 0;
             quorvel::encode(sample(), 300, 280, options);
         }},
        {"negative threads", quorvel::kInvalidArgument, "decode: -2 threads",
         [] { quorvel::decode(quorvel::encode(sample(), 300, 280), {-2}); }},
        {"junk", -1, "decode: ERROR", [] { quorvel::decode(junk); }},
        {"empty", -1, "decode: ", [] { quorvel::decode(std::vector<uint8_t>{}); }},
        {"truncated", -1, "decode: ", [] { quorvel::decode(cut); }},
        {"info junk", quorvel::kNotWsq, "info: not a WSQ stream", [] { quorvel::info(junk); }},
        {"info truncated", quorvel::kNotWsq, "info: ", [] { quorvel::info(cut); }},
    };
}

TEST(CppWsq, FailuresThrowOneTypeWithTheCodecsCodeAndLinesAndPrintNothing) {
    for (const Failure& f : failures()) {
        ::testing::internal::CaptureStderr();
        try {
            f.call();
            ADD_FAILURE() << f.name << ": no exception";
        } catch (const quorvel::Error& e) {
            // -1 stands for "some codec code": the readers' codes vary with the damage.
            if (f.code == -1) EXPECT_LT(e.code(), 0) << f.name;
            else EXPECT_EQ(e.code(), f.code) << f.name;
            EXPECT_NE(std::string(e.what()).find(f.message), std::string::npos)
                << f.name << ": " << e.what();
        }
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << f.name;
    }
}

TEST(CppWsq, SuccessfulCallsPrintNothingWhileTheExportStillDoes) {
    std::vector<uint8_t> pixels = sample();
    ::testing::internal::CaptureStderr();
    quorvel::decode(quorvel::encode(pixels, 300, 280));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    unsigned char* out = nullptr;
    int length = 0;
    ::testing::internal::CaptureStderr();
    WSQ_encode_stream(pixels.data(), 300, 280, 0.75, 500, nullptr, &out, &length);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("hsize1 = "), std::string::npos);
    std::free(out);
}

// The encoder writes the NIST_COM comment first; other encoders begin with the tables.
TEST(CppWsq, LooksLikeWsqTakesStartOfImageThenATableFrameOrComment) {
    const auto stream = quorvel::encode(sample(), 300, 280);
    const std::size_t comment_end = 4 + ((stream[4] << 8) | stream[5]);
    std::vector<uint8_t> tables_first(stream.begin(), stream.begin() + 2);
    tables_first.insert(tables_first.end(), stream.begin() + comment_end, stream.end());
    ASSERT_NE(tables_first[3], 0xA8);
    EXPECT_TRUE(quorvel::looks_like_wsq(stream.data(), stream.size()));
    EXPECT_TRUE(quorvel::looks_like_wsq(tables_first.data(), tables_first.size()));
    EXPECT_EQ(quorvel::decode(tables_first).pixels, quorvel::decode(stream).pixels);
    const std::vector<std::vector<uint8_t>> others = {
        {0xFF, 0xA0, 0xFF, 0xA3}, {0xFF, 0xA0, 0xFF, 0xA1}, {0xFF, 0xA0, 0xFF},
        {0xFF, 0xD8, 0xFF, 0xE0}, {0xFF, 0xA1, 0xFF, 0xA8}, {}};
    for (const auto& bytes : others)
        EXPECT_FALSE(quorvel::looks_like_wsq(bytes.data(), bytes.size()));
}

TEST(CppWsq, VersionIsTheProjectVersion) {
    EXPECT_STREQ(quorvel::version(), QUORVEL_VERSION_STRING);
}

}  // namespace
