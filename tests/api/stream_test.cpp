#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/stream.h"
#include "support/ridge_pattern.h"
#include "wsq/diag.h"

namespace quorvel::api {
namespace {

// A pointer no allocator handed out: freeing it would abort the test program.
unsigned char* const kGarbage = reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(0x10));

struct Image {
    int width;
    int height;
    std::vector<uint8_t> pixels;
};

Image sample(int width, int height) {
    return {width, height, testing::ridge_pattern(width, height, 7)};
}

std::vector<uint8_t> encode(StreamFlags& flags, Image& image, double bitrate, const char* comment) {
    unsigned char* out = nullptr;
    int length = -1;
    wsq::DiagCapture quiet;  // the encoder's statistics lines
    EXPECT_EQ(encode_stream(flags, image.pixels.data(), image.width, image.height, bitrate, 500,
                            comment, &out, &length),
              1);
    EXPECT_NE(out, nullptr);
    std::vector<uint8_t> stream(out, out + (out != nullptr && length > 0 ? length : 0));
    std::free(out);
    return stream;
}

// The stream without its COM segments (every segment before the first block is walked).
std::vector<uint8_t> without_comments(const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> result(stream.begin(), stream.begin() + 2);
    size_t pos = 2;
    while (pos + 4 <= stream.size()) {
        const unsigned marker = stream[pos] << 8 | stream[pos + 1];
        if (marker == 0xFFA3) break;
        const size_t length = stream[pos + 2] << 8 | stream[pos + 3];
        if (marker != 0xFFA8)
            result.insert(result.end(), stream.begin() + pos, stream.begin() + pos + 2 + length);
        pos += 2 + length;
    }
    result.insert(result.end(), stream.begin() + pos, stream.end());
    return result;
}

double psnr(const std::vector<uint8_t>& a, const unsigned char* b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * double(a[i] - b[i]);
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

// A fresh set of first-call flags, a 96x96 sample and an output variable holding no buffer.
class EncodeStream : public ::testing::Test {
protected:
    StreamFlags flags;
    Image image = sample(96, 96);
    unsigned char* out = kGarbage;
    int length = 0;
    wsq::DiagCapture quiet;
};

TEST_F(EncodeStream, FirstCallFreesNothingLaterCallsFreeAndClear) {
    // The first call never frees what the variable holds, even when it is not a buffer.
    encode_stream(flags, image.pixels.data(), 96, 96, 0.75, 500, nullptr, &out, &length);
    ASSERT_NE(out, kGarbage);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(flags.encode_first_call);
    EXPECT_TRUE(flags.decode_first_call);
    // A failing encode (no width) after the first call leaves the variable null: the previous
    // buffer was freed and nothing new was stored.
    encode_stream(flags, image.pixels.data(), 0, 96, 0.75, 500, nullptr, &out, &length);
    EXPECT_EQ(out, nullptr);
}

TEST_F(EncodeStream, FailingFirstCallLeavesTheVariableAsPassed) {
    EXPECT_EQ(encode_stream(flags, image.pixels.data(), 96, 0, 0.75, 500, nullptr, &out, &length),
              1);
    EXPECT_EQ(out, kGarbage);
    EXPECT_FALSE(flags.encode_first_call);
}

TEST(EncodeStreamOutputs, MissingOutputPlacesAreNotWrittenThrough) {
    StreamFlags flags;
    Image image = sample(90, 90);
    wsq::DiagCapture quiet;
    EXPECT_EQ(
        encode_stream(flags, image.pixels.data(), 90, 90, 0.75, 500, nullptr, nullptr, nullptr), 1);
    unsigned char* out = nullptr;
    EXPECT_EQ(encode_stream(flags, nullptr, 90, 90, 0.75, 500, nullptr, &out, nullptr), 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(encode_stream(flags, image.pixels.data(), 90, 90, 0.75, 500, nullptr, &out, nullptr),
              1);
    EXPECT_NE(out, nullptr);
    std::free(out);
}

TEST(DecodeStream, FlagsAreIndependentAndNonSoiDataReturnsTheMarkerCode) {
    StreamFlags flags;
    Image image = sample(100, 90);
    encode(flags, image, 0.75, nullptr);
    encode(flags, image, 0.75, nullptr);
    EXPECT_TRUE(flags.decode_first_call);

    unsigned char junk[] = {0x12, 0x34, 0x56, 0x78};
    unsigned char* out = kGarbage;
    int width = -1, height = -1, ppi = -1;
    char* comment = nullptr;
    wsq::DiagCapture capture;
    const int code = decode_stream(flags, junk, sizeof junk, &out, &width, &height, &ppi, &comment);
    EXPECT_NE(code, 1);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(flags.decode_first_call);  // the call did not reach its end
    EXPECT_EQ(out, kGarbage);              // and, being a first call, freed nothing
    EXPECT_EQ(width, -1);
    EXPECT_EQ(comment, nullptr);
    // A negative length or a null buffer holds no bytes: the marker reader finds no data.
    const int empty = decode_stream(flags, junk, 0, &out, &width, &height, &ppi, &comment);
    EXPECT_LT(empty, 0);
    EXPECT_EQ(decode_stream(flags, junk, -5, &out, &width, &height, &ppi, &comment), empty);
    EXPECT_EQ(decode_stream(flags, nullptr, 100, &out, &width, &height, &ppi, &comment), empty);
    EXPECT_TRUE(flags.decode_first_call);
    EXPECT_EQ(out, kGarbage);
}

TEST(DecodeStream, RoundTripGivesSizeResolutionPixelsAndTheAttributeComment) {
    StreamFlags flags;
    Image image = sample(300, 300);
    std::vector<uint8_t> stream = encode(flags, image, 2.25, nullptr);
    unsigned char* out = kGarbage;  // first decode call: not freed
    int width = 0, height = 0, ppi = 0;
    char* comment = nullptr;
    ASSERT_EQ(decode_stream(flags, stream.data(), int(stream.size()), &out, &width, &height, &ppi,
                            &comment),
              1);
    EXPECT_FALSE(flags.decode_first_call);
    ASSERT_NE(out, kGarbage);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 300);
    EXPECT_EQ(ppi, 500);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(std::string(comment).rfind("NIST_COM", 0), 0u) << comment;
    EXPECT_GT(psnr(image.pixels, out), 30.0);
    std::free(comment);
    // A second decode of junk frees the image and leaves the variable null.
    unsigned char junk[] = {0xFF, 0xA0, 0x00};
    wsq::DiagCapture quiet;
    decode_stream(flags, junk, sizeof junk, &out, &width, &height, &ppi, &comment);
    EXPECT_EQ(out, nullptr);
}

TEST(DecodeStream, TheLastCommentWinsAndNoCommentLeavesThePointer) {
    StreamFlags flags;
    Image image = sample(96, 88);
    std::vector<uint8_t> stream = encode(flags, image, 0.75, "scanned at desk 4");
    unsigned char* out = nullptr;
    int width = 0, height = 0, ppi = 0;
    char* comment = nullptr;
    ASSERT_EQ(decode_stream(flags, stream.data(), int(stream.size()), &out, &width, &height, &ppi,
                            &comment),
              1);
    ASSERT_NE(comment, nullptr);
    EXPECT_STREQ(comment, "scanned at desk 4");
    std::free(comment);

    std::vector<uint8_t> bare = without_comments(stream);
    ASSERT_LT(bare.size(), stream.size());
    char mine[] = "untouched";
    comment = mine;
    ASSERT_EQ(
        decode_stream(flags, bare.data(), int(bare.size()), &out, &width, &height, &ppi, &comment),
        1);
    EXPECT_EQ(comment, mine);
    EXPECT_NE(out, nullptr);  // the stream still decodes without its comments
    EXPECT_EQ(width, 96);
    std::free(out);
}

TEST(DecodeStream, MissingOutputPlacesAreNotWrittenThrough) {
    StreamFlags flags;
    Image image = sample(88, 88);
    std::vector<uint8_t> stream = encode(flags, image, 0.75, "x");
    unsigned char* out = nullptr;
    EXPECT_EQ(decode_stream(flags, stream.data(), int(stream.size()), &out, nullptr, nullptr,
                            nullptr, nullptr),
              1);
    EXPECT_NE(out, nullptr);
    EXPECT_EQ(decode_stream(flags, stream.data(), int(stream.size()), nullptr, nullptr, nullptr,
                            nullptr, nullptr),
              1);
    std::free(out);
}

}  // namespace
}  // namespace quorvel::api
