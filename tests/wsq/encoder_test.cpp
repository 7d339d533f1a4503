#include "wsq/encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- pixel conversion

// The definition carried out at quadruple precision and rounded once: an independent check
// of the extended-precision intermediates (p - shift is not rounded to single precision).
float exact_conversion(int p, int64_t sum, size_t n, float scale) {
    const __float128 shift = static_cast<float>(static_cast<__float128>(sum) / n);
    return static_cast<float>((static_cast<__float128>(p) - shift) / scale);
}

TEST(PixelsToFloat, ShiftScaleAndEveryValueRoundOnceFromExtendedIntermediates) {
    // A dark print with a few bright specks: the mean is small, so p - shift needs more
    // than 24 bits for the bright pixels.
    const int w = 300, h = 300;
    Bytes px = quorvel::testing::ridge_pattern(w, h, 5);
    for (size_t i = 0; i < px.size(); ++i) px[i] = i % 97 == 0 ? 200 + i % 50 : px[i] / 32;
    std::vector<float> f(px.size());
    float shift = 0, scale = 0;
    pixels_to_float(f.data(), &shift, &scale, px.data(), px.size());
    int64_t sum = 0;
    int lo = 255, hi = 0;
    for (uint8_t p : px) {
        sum += p;
        lo = std::min<int>(lo, p);
        hi = std::max<int>(hi, p);
    }
    EXPECT_EQ(shift, static_cast<float>(static_cast<__float128>(sum) / px.size()));
    const float d1 = static_cast<float>(static_cast<__float128>(shift) - lo);
    const float d2 = static_cast<float>(hi - static_cast<__float128>(shift));
    EXPECT_EQ(scale, std::max(d1, d2) / 128.0f);
    int single_precision_differs = 0;
    for (size_t i = 0; i < px.size(); ++i) {
        ASSERT_EQ(f[i], exact_conversion(px[i], sum, px.size(), scale)) << i;
        single_precision_differs += f[i] != (static_cast<float>(px[i] - shift) / scale);
    }
    // Rounding p - shift to single precision first would have changed some values.
    EXPECT_GT(single_precision_differs, 0);
}

TEST(PixelsToFloat, SumDoesNotOverflowOnLargeImages) {
    // 9,000,000 pixels of 255 and 254 sum beyond 2^31.
    const size_t n = 3000 * 3000;
    Bytes px(n, 255);
    for (size_t i = 0; i < n; i += 2) px[i] = 254;
    std::vector<float> f(n);
    float shift = 0, scale = 0;
    pixels_to_float(f.data(), &shift, &scale, px.data(), n);
    EXPECT_FLOAT_EQ(shift, 254.5f);
    EXPECT_FLOAT_EQ(scale, 0.5f / 128.0f);
    EXPECT_FLOAT_EQ(f[0], -128.0f);
    EXPECT_FLOAT_EQ(f[1], 128.0f);
}

TEST(PixelsToFloat, FlatImageHasZeroScaleAndNotANumberValues) {
    Bytes px(100, 77);
    std::vector<float> f(px.size());
    float shift = 0, scale = 1;
    pixels_to_float(f.data(), &shift, &scale, px.data(), px.size());
    EXPECT_EQ(shift, 77.0f);
    EXPECT_EQ(scale, 0.0f);
    for (float v : f) EXPECT_TRUE(std::isnan(v));
}

// ---- the stream the encoder writes

struct Segment {
    unsigned marker;
    size_t offset;           // of the marker
    Bytes body;              // after the length field
    size_t coded_bytes = 0;  // SOB only: entropy-coded bytes up to the next marker
};

unsigned be16(const Bytes& s, size_t at) { return (s[at] << 8) | s[at + 1]; }

// Splits a stream into its segments; entropy-coded data runs up to a 0xFF with a non-zero
// byte after it.
std::vector<Segment> segments(const Bytes& s) {
    std::vector<Segment> out;
    size_t at = 0;
    while (at + 2 <= s.size()) {
        Segment seg{be16(s, at), at, {}};
        at += 2;
        if (seg.marker != 0xFFA0 && seg.marker != 0xFFA1) {
            const unsigned len = be16(s, at);
            seg.body.assign(s.begin() + at + 2, s.begin() + at + len);
            at += len;
        }
        if (seg.marker == 0xFFA3) {
            const size_t start = at;
            while (at + 1 < s.size() && !(s[at] == 0xFF && s[at + 1] != 0)) ++at;
            seg.coded_bytes = at - start;
        }
        out.push_back(seg);
    }
    return out;
}

struct Encoded {
    int ret = 0;
    Bytes stream;
    std::string log;
};

Encoded encode(const Bytes& px, int w, int h, float r, const char* comment, int ppi = 500) {
    Encoded e;
    DiagCapture capture;
    unsigned char* data = nullptr;
    int len = -1;
    e.ret = wsq_encode_1(&data, &len, r, px.data(), w, h, 8, ppi, comment);
    if (e.ret == 0) {
        e.stream.assign(data, data + len);
        std::free(data);
    } else {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(len, -1);
    }
    e.log = capture.text();
    return e;
}

std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(Encoder, SegmentOrderTablesAndStatisticsLines) {
    const int w = 320, h = 360;
    const Bytes px = quorvel::testing::ridge_pattern(w, h, 21);
    const Encoded e = encode(px, w, h, 0.75f, nullptr);
    ASSERT_EQ(e.ret, 0) << e.log;
    const std::vector<Segment> segs = segments(e.stream);
    const unsigned order[] = {0xFFA0, 0xFFA8, 0xFFA4, 0xFFA5, 0xFFA2, 0xFFA6,
                              0xFFA3, 0xFFA6, 0xFFA3, 0xFFA3, 0xFFA1};
    ASSERT_EQ(segs.size(), std::size(order));
    for (size_t i = 0; i < segs.size(); ++i) EXPECT_EQ(segs[i].marker, order[i]) << i;
    EXPECT_EQ(segs.back().offset + 2, e.stream.size());

    // DTT: the same 60 bytes for every stream.
    const Bytes dtt = {0xff, 0xa4, 0x00, 0x3a, 0x09, 0x07, 0x00, 0x09, 0x32, 0xd3, 0x25, 0xcd,
                       0x00, 0x0a, 0xe0, 0xf3, 0x19, 0x9a, 0x01, 0x0a, 0x41, 0xef, 0xf1, 0x9a,
                       0x01, 0x0b, 0x8e, 0x27, 0x64, 0xcd, 0x00, 0x0b, 0xe1, 0x79, 0xa3, 0x33,
                       0x00, 0x09, 0x2e, 0xff, 0x56, 0x00, 0x01, 0x0a, 0xf9, 0x33, 0xd3, 0x33,
                       0x01, 0x0b, 0xf2, 0x87, 0x21, 0x9a, 0x00, 0x0a, 0x26, 0x77, 0xda, 0x33};
    const auto dtt_at = e.stream.begin() + segs[2].offset;
    EXPECT_EQ(Bytes(dtt_at, dtt_at + 60), dtt);
    const Bytes dqt_start = {0xff, 0xa5, 0x01, 0x85, 0x02, 0x00, 0x2c};
    EXPECT_EQ(Bytes(e.stream.begin() + segs[3].offset, e.stream.begin() + segs[3].offset + 7),
              dqt_start);
    // SOF: height before width.
    EXPECT_EQ(be16(segs[4].body, 2), static_cast<unsigned>(h));
    EXPECT_EQ(be16(segs[4].body, 4), static_cast<unsigned>(w));
    // Tables 0 then 1, block headers naming 0, 1, 1.
    EXPECT_EQ(segs[5].body[0], 0);
    EXPECT_EQ(segs[7].body[0], 1);
    EXPECT_EQ(segs[6].body, Bytes{0});
    EXPECT_EQ(segs[8].body, Bytes{1});
    EXPECT_EQ(segs[9].body, Bytes{1});

    // The statistics lines give the coded lengths of the three blocks.
    const size_t h1 = segs[6].coded_bytes, h2 = segs[8].coded_bytes, h3 = segs[9].coded_bytes;
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "hsize1 = %zu :: hsize2 = %zu :: hsize3 = %zu\n"
                  "@ r = 0.750 :: complen = %zu :: ratio = %.1f\n",
                  h1, h2, h3, h1 + h2 + h3, double(w) * h / double(h1 + h2 + h3));
    EXPECT_NE(e.log.find(expected), std::string::npos) << e.log;
    EXPECT_GT(h1, 0u);
    EXPECT_GT(h3, 0u);
}

TEST(Encoder, SameInputGivesTheSameBytesAndBitrateSetsTheSize) {
    const int w = 256, h = 300;
    const Bytes px = quorvel::testing::ridge_pattern(w, h, 4);
    const Encoded a = encode(px, w, h, 0.75f, "scan 1");
    const Encoded b = encode(px, w, h, 0.75f, "scan 1");
    const Encoded c = encode(px, w, h, 2.25f, "scan 1");
    ASSERT_EQ(a.ret, 0);
    ASSERT_EQ(c.ret, 0);
    EXPECT_EQ(a.stream, b.stream);
    EXPECT_GT(c.stream.size(), a.stream.size() * 2);
    // Near the requested bitrate (the coded part; the fixed segments add under 1 KB).
    const double bpp = 8.0 * a.stream.size() / (w * h);
    EXPECT_GT(bpp, 0.4);
    EXPECT_LT(bpp, 1.2);
}

TEST(Encoder, CommentsNullPlainAndNistcom) {
    const int w = 200, h = 200;
    const Bytes px = quorvel::testing::ridge_pattern(w, h, 8);
    auto comments = [](const Encoded& e) {
        std::vector<std::string> out;
        for (const Segment& s : segments(e.stream))
            if (s.marker == 0xFFA8) out.push_back(text_of(s.body));
        return out;
    };
    const std::string nistcom =
        "NIST_COM 9\nPIX_WIDTH 200\nPIX_HEIGHT 200\nPIX_DEPTH 8\nPPI 500\nLOSSY 1\n"
        "COLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE 0.750000";
    EXPECT_EQ(comments(encode(px, w, h, 0.75f, nullptr)), std::vector<std::string>{nistcom});
    EXPECT_EQ(comments(encode(px, w, h, 0.75f, "left thumb, card 7")),
              (std::vector<std::string>{nistcom, "left thumb, card 7"}));
    EXPECT_EQ(comments(encode(px, w, h, 0.75f, "")), (std::vector<std::string>{nistcom, ""}));
    const std::vector<std::string> merged =
        comments(encode(px, w, h, 0.75f, "NIST_COM 2\nFINGER 3", 300));
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_NE(merged[0].find("FINGER 3"), std::string::npos);
    EXPECT_NE(merged[0].find("PPI 300"), std::string::npos);
    EXPECT_NE(merged[0].find("WSQ_BITRATE 0.750000"), std::string::npos);
}

TEST(Encoder, RefusesSizesTheFilterBankOrTheFrameCannotCarry) {
    const Bytes px(100 * 100, 128);
    for (const auto& [w, h] : {std::pair{80, 81}, std::pair{81, 80}, std::pair{16, 16},
                               std::pair{0, 100}, std::pair{100, 0}, std::pair{-5, 100}}) {
        const Encoded e = encode(px, w, h, 0.75f, nullptr);
        EXPECT_EQ(e.ret, kEncodeTooSmall) << w << " x " << h;
        EXPECT_EQ(e.log.rfind("ERROR : wsq_encode_1 : image too small", 0), 0u) << e.log;
    }
    // Refused before any pixel is read, so the short buffer is never touched.
    for (const auto& [w, h] :
         {std::pair{65536, 100}, std::pair{100, 70000}, std::pair{60000, 60000}}) {
        const Encoded e = encode(px, w, h, 0.75f, nullptr);
        EXPECT_EQ(e.ret, kEncodeTooLarge) << w << " x " << h;
    }
}

TEST(Encoder, NullPointersAreRefused) {
    const Bytes px(100 * 100, 128);
    unsigned char* data = nullptr;
    int len = -1;
    DiagCapture capture;
    EXPECT_EQ(wsq_encode_1(&data, &len, 0.75f, nullptr, 100, 100, 8, 500, nullptr),
              kEncodeNullArgument);
    EXPECT_EQ(wsq_encode_1(nullptr, &len, 0.75f, px.data(), 100, 100, 8, 500, nullptr),
              kEncodeNullArgument);
    EXPECT_EQ(wsq_encode_1(&data, nullptr, 0.75f, px.data(), 100, 100, 8, 500, nullptr),
              kEncodeNullArgument);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(len, -1);
    const std::string line = "ERROR : wsq_encode_1 : null argument\n";
    EXPECT_EQ(capture.text(), line + line + line);
}

TEST(Encoder, ExtremeBitratesGiveValidStreamsAndNotANumberIsRefused) {
    const int w = 120, h = 130;
    const Bytes px = quorvel::testing::ridge_pattern(w, h, 6);
    // Without a reachable target no subband is coded: a valid stream of empty blocks.
    for (float r : {0.0f, -3.0f, -INFINITY, INFINITY}) {
        const Encoded e = encode(px, w, h, r, nullptr);
        EXPECT_EQ(e.ret, 0) << r << e.log;
        EXPECT_NE(e.log.find("0 -> 0.000000\n"), std::string::npos) << r;
    }
    const Encoded e = encode(px, w, h, NAN, nullptr);
    EXPECT_EQ(e.ret, kEncodeBadBitrate);
    EXPECT_EQ(e.log, "ERROR : wsq_encode_1 : bitrate is not a number\n");
}

TEST(Encoder, StreamLargerThanTheRawImageFailsWithTheOverflowError) {
    // Noise at a high bitrate on a small image cannot fit in width x height bytes.
    const int w = 96, h = 96;
    Bytes px(w * h);
    uint32_t state = 99;
    for (uint8_t& p : px) {
        state = state * 1103515245u + 12345u;
        p = static_cast<uint8_t>(state >> 23);
    }
    const Encoded e = encode(px, w, h, 12.0f, nullptr);
    EXPECT_TRUE(e.ret == -32 || e.ret == -33) << e.ret;
    EXPECT_NE(e.log.find("buffer overlow : alloc = 9216"), std::string::npos) << e.log;
    EXPECT_EQ(e.log.find("hsize1 ="), std::string::npos);
}

TEST(Encoder, AStreamOutgrowingTheImageInAnySegmentFailsWithTheOverflowError) {
    // A comment long enough to end the w x h bytes halfway into each later segment in turn.
    const int w = 96, h = 96;
    const Bytes px = quorvel::testing::ridge_pattern(w, h, 3);
    const Encoded fits = encode(px, w, h, 0.75f, "x");
    ASSERT_EQ(fits.ret, 0) << fits.log;
    const std::vector<Segment> segs = segments(fits.stream);
    ASSERT_EQ(segs[3].marker, 0xFFA4u);  // SOI, two comments, then the transform table
    for (size_t i = 3; i <= segs.size(); ++i) {
        // The last row: the comment alone is longer than the image.
        size_t comment_length = px.size() + 1;
        if (i < segs.size()) {
            const size_t next = i + 1 < segs.size() ? segs[i + 1].offset : fits.stream.size();
            comment_length = 1 + px.size() - (segs[i].offset + next) / 2;
        }
        const std::string comment(comment_length, 'c');
        const Encoded e = encode(px, w, h, 0.75f, comment.c_str());
        EXPECT_TRUE(e.ret == -32 || e.ret == -33) << i << " " << e.ret;
        EXPECT_NE(e.log.find("buffer overlow : alloc = 9216"), std::string::npos) << i << e.log;
        EXPECT_EQ(e.log.find("hsize1 ="), std::string::npos) << i;
    }
}

}  // namespace
}  // namespace quorvel::wsq
