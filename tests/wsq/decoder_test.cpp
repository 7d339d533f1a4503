#include "wsq/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "raster/codecs/wsq_limits.h"
#include "support/ridge_pattern.h"
#include "wsq/diag.h"
#include "wsq/encoder.h"
#include "wsq/filter_bank.h"
#include "wsq/huffman.h"
#include "wsq/quantize.h"
#include "wsq/records.h"
#include "wsq/stream.h"
#include "wsq/stream_report.h"
#include "wsq/tree.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes encode(const Bytes& px, int w, int h, float rate, const char* comment, int ppi = 500) {
    DiagCapture quiet;
    unsigned char* data = nullptr;
    int len = 0;
    EXPECT_EQ(wsq_encode_1(&data, &len, rate, px.data(), w, h, 8, ppi, comment), 0) << quiet.text();
    Bytes out(data, data + len);
    std::free(data);
    return out;
}

struct Result {
    int ret = 0;
    Bytes px;
    int w = -5, h = -5, d = -5, ppi = -5, lossy = -5;
    std::string diag;
};

Result decode_with(DecoderState& state, const Bytes& stream) {
    Result r;
    WsqTrees trees;
    unsigned char* data = nullptr;
    DiagCapture capture;
    r.ret = wsq_decode(state, trees, &data, &r.w, &r.h, &r.d, &r.ppi, &r.lossy, stream.data(),
                       static_cast<int>(stream.size()));
    r.diag = capture.text();
    if (data != nullptr) {
        r.px.assign(data, data + static_cast<size_t>(r.w) * static_cast<size_t>(r.h));
        std::free(data);
    }
    return r;
}

Result decode(const Bytes& stream) {
    DecoderState state;
    return decode_with(state, stream);
}

// One segment of a stream: marker, offset of the marker, bytes up to the next marker.
struct Segment {
    unsigned short marker;
    size_t offset;
    size_t size;
};

std::vector<Segment> segments(const Bytes& s) {
    std::vector<Segment> out;
    size_t i = 0;
    while (i + 2 <= s.size()) {
        const unsigned short m = static_cast<unsigned short>((s[i] << 8) | s[i + 1]);
        size_t end = i + 2;
        if (m != SOI_WSQ && m != EOI_WSQ) end += (static_cast<size_t>(s[i + 2]) << 8) | s[i + 3];
        if (m == SOB_WSQ)
            while (end + 1 < s.size() && !(s[end] == 0xff && s[end + 1] != 0)) ++end;
        out.push_back({m, i, end - i});
        i = end;
    }
    return out;
}

const Segment& nth(const std::vector<Segment>& list, unsigned short marker, int n = 0) {
    for (const Segment& s : list)
        if (s.marker == marker && n-- == 0) return s;
    throw std::runtime_error("segment not found");
}

class DecoderStreams : public ::testing::Test {
protected:
    static constexpr int kW = 300, kH = 280;
    void SetUp() override {
        pixels = quorvel::testing::ridge_pattern(kW, kH, 5);
        stream = encode(pixels, kW, kH, 0.75f, "scanner 7");
    }
    Bytes pixels, stream;
};

TEST(FloatToPixels, RoundsHalfUpAndClamps) {
    const float f[] = {-0.5f,
                       -0.49f,
                       0.4999f,
                       127.5f,
                       127.49f,
                       254.49f,
                       254.5f,
                       300.0f,
                       -1e30f,
                       std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()};
    const unsigned char expected[] = {0, 0, 0, 128, 127, 254, 255, 255, 0, 0, 255};
    unsigned char out[11] = {};
    float_to_pixels(out, f, 11, 0.0f, 1.0f);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(out[i], expected[i]) << f[i];
    // Scale and shift: 1.5 * 85 - 0.25 = 127.25 -> 127; -0.5 * 2 + 128 = 127 -> 127.
    const float g[] = {85.0f, -0.5f};
    float_to_pixels(out, g, 2, -0.25f, 1.5f);
    EXPECT_EQ(out[0], 127);
    float_to_pixels(out + 1, g + 1, 1, 128.0f, 2.0f);
    EXPECT_EQ(out[1], 127);
}

TEST(FloatToPixels, ProductAndShiftAreRoundedOnce) {
    // f * scale = -2^-18 (1 + 2^-36) exactly. Rounded on its own it becomes -2^-18, and
    // 100.5 - 2^-18 is a tie that goes to 100.5 (byte 101); rounded once together with the
    // shift, the sum lies below the tie and becomes 100.5 - 2^-17 (byte 100).
    const float f = 1.0f + std::ldexp(1.0f, -12);
    const float scale = -std::ldexp(1.0f - std::ldexp(1.0f, -12) + std::ldexp(1.0f, -24), -18);
    unsigned char out = 0;
    float_to_pixels(&out, &f, 1, 100.5f, scale);
    EXPECT_EQ(out, 100);
}

TEST_F(DecoderStreams, EntropyDecodingGivesTheEncodersCoefficients) {
    // The encoder's own quantized coefficients for the same pixels and bitrate.
    std::vector<float> f(static_cast<size_t>(kW) * kH);
    float shift, scale;
    pixels_to_float(f.data(), &shift, &scale, pixels.data(), f.size());
    WsqTrees trees;
    build_subband_trees(trees, kW, kH);
    ASSERT_EQ(wsq_decompose(f.data(), kW, kH, trees.nodes, kAnalysisHighPass, kHighPassTaps,
                            kAnalysisLowPass, kLowPassTaps),
              0);
    WsqQuantization quant{};
    quant.bitrate = 0.75f;
    subband_variance(&quant, trees.subbands, f.data(), kW, kH);
    int16_t* sip = nullptr;
    int count = 0;
    {
        DiagCapture quiet;
        ASSERT_EQ(quantize(&sip, &count, &quant, trees.subbands, f.data(), kW, kH), 0);
    }
    // Decode the stream's blocks.
    DecoderState state;
    InputCursor in{stream.data(), stream.data() + stream.size()};
    unsigned short marker;
    ASSERT_EQ(getc_marker_wsq(&marker, MarkerClass::Soi, in), 0);
    ASSERT_EQ(getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in), 0);
    while (marker != SOF_WSQ) {
        ASSERT_EQ(getc_table_wsq(marker, state, in), 0);
        ASSERT_EQ(getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in), 0);
    }
    ASSERT_EQ(getc_frame_header(state.frame, in), 0);
    EXPECT_NEAR(state.frame.m_shift, shift, 0.01f);  // five decimal digits are stored
    std::vector<short> q(static_cast<size_t>(kW) * kH, 0);
    ASSERT_EQ(huffman_decode_data_mem(q.data(), q.size(), state, in), 0);
    EXPECT_EQ(in.pos, in.end);
    ASSERT_GT(count, 1000);
    EXPECT_TRUE(std::equal(sip, sip + count, q.begin()));
    for (size_t i = static_cast<size_t>(count); i < q.size(); ++i) ASSERT_EQ(q[i], 0) << i;
    for (int k = 0; k < 60; ++k)
        EXPECT_NEAR(state.dqt.bin_width[k], quant.bin_width[k], 1e-4 * quant.bin_width[k]) << k;
    std::free(sip);
}

TEST_F(DecoderStreams, OutputsOfASuccessfulDecode) {
    const Result r = decode(stream);
    ASSERT_EQ(r.ret, 0) << r.diag;
    EXPECT_EQ(r.w, kW);
    EXPECT_EQ(r.h, kH);
    EXPECT_EQ(r.d, 8);
    EXPECT_EQ(r.lossy, 1);
    EXPECT_EQ(r.ppi, 500);
    EXPECT_TRUE(r.diag.empty()) << r.diag;
    double err = 0;
    for (size_t i = 0; i < pixels.size(); ++i) err += std::abs(int(pixels[i]) - int(r.px[i]));
    EXPECT_LT(err / pixels.size(), 12.0);
    EXPECT_EQ(decode(stream).px, r.px);
}

TEST_F(DecoderStreams, ResolutionComesFromTheNistcomComment) {
    Bytes s = stream;
    const Segment com = nth(segments(s), COM_WSQ);
    const std::string text(s.begin() + static_cast<long>(com.offset + 4),
                           s.begin() + static_cast<long>(com.offset + com.size));
    const size_t ppi_at = com.offset + 4 + text.find("\nPPI ") + 3;
    s[ppi_at] = 'X';  // the attribute is now "PPX"
    Result r = decode(s);
    EXPECT_EQ(r.ret, -2);
    EXPECT_EQ(r.diag, "ERROR : extractfet_ret : feature PPI not found\n");
    EXPECT_EQ(r.w, -5);
    s[com.offset + 4 + 7] = 'N';  // "NIST_CON": no NIST_COM comment at all
    r = decode(s);
    ASSERT_EQ(r.ret, 0) << r.diag;
    EXPECT_EQ(r.ppi, -1);
}

TEST_F(DecoderStreams, FramesTooSmallOrEmptyAreRefused) {
    const size_t sof = nth(segments(stream), SOF_WSQ).offset;
    for (const auto& [w, h] : {std::pair{0, kH}, std::pair{kW, 0}, std::pair{80, 81}}) {
        Bytes s = stream;
        s[sof + 6] = static_cast<unsigned char>(h >> 8);
        s[sof + 7] = static_cast<unsigned char>(h);
        s[sof + 8] = static_cast<unsigned char>(w >> 8);
        s[sof + 9] = static_cast<unsigned char>(w);
        const Result r = decode(s);
        EXPECT_EQ(r.ret, kDecodeTooSmall) << w << " x " << h;
        EXPECT_TRUE(r.px.empty());
        EXPECT_EQ(r.w, -5);
    }
}

TEST_F(DecoderStreams, FramesBeyondThirtyTwoBitSizesAreRefused) {
    const size_t sof = nth(segments(stream), SOF_WSQ).offset;
    for (int side : {65535, 46341}) {
        Bytes s = stream;
        for (size_t at : {sof + 6, sof + 8}) {
            s[at] = static_cast<unsigned char>(side >> 8);
            s[at + 1] = static_cast<unsigned char>(side);
        }
        const Result r = decode(s);
        EXPECT_EQ(r.ret, -20) << side;
        EXPECT_EQ(r.diag, "ERROR: wsq_decode_mem : malloc : qdata1\n");
    }
}

TEST_F(DecoderStreams, FramesOverTheLimitsOrBeyondTheirCodedDataAreRefused) {
    const auto list = segments(stream);
    const size_t sof = nth(list, SOF_WSQ).offset, sob = nth(list, SOB_WSQ).offset;
    const struct {
        int side;
        size_t keep;  // bytes of the stream kept
        const char* message;
    } rows[] = {
        {16000, stream.size(), "image of 16000 x 16000 is over the load limits\n"},
        {12000, sob + 5 + 20,
         "image of 12000 x 12000 needs more than the 20 coded bytes present\n"},
    };
    for (const auto& row : rows) {
        Bytes s(stream.begin(), stream.begin() + static_cast<long>(row.keep));
        for (size_t at : {sof + 6, sof + 8}) {
            s[at] = static_cast<unsigned char>(row.side >> 8);
            s[at + 1] = static_cast<unsigned char>(row.side);
        }
        DecoderState state;
        state.limits = raster::wsq_decode_limits();  // as every decoding caller hands them in
        const Result r = decode_with(state, s);
        EXPECT_EQ(r.ret, kDecodeNoCoefficientMemory) << row.side;
        EXPECT_EQ(r.diag, std::string("ERROR: wsq_decode_mem : ") + row.message);
        EXPECT_EQ(r.w, -5);
    }
}

TEST_F(DecoderStreams, MoreCoefficientsThanTheFrameHoldsFail) {
    Bytes s = stream;
    const size_t sof = nth(segments(s), SOF_WSQ).offset;
    s[sof + 6] = 0;
    s[sof + 7] = 100;  // height 280 -> 100: the blocks hold far more than 300 x 100
    const Result r = decode(s);
    EXPECT_EQ(r.ret, -54);
}

TEST_F(DecoderStreams, MarkerClassesAroundTheFrame) {
    Bytes s = stream;
    const Segment dtt = nth(segments(s), DTT_WSQ);
    s[dtt.offset + 1] = 0xa7;  // DRT is not a table marker
    Result r = decode(s);
    EXPECT_EQ(r.ret, -89);
    Bytes bad = stream;
    bad[1] = 0xa1;
    r = decode(bad);
    EXPECT_EQ(r.ret, -88);
    EXPECT_EQ(r.diag, "ERROR : getc_marker_wsq : No SOI marker. {65441}\n");
}

TEST_F(DecoderStreams, TablesAndCommentsBetweenBlocksAreUsed) {
    const auto list = segments(stream);
    const Segment dht1 = nth(list, DHT_WSQ, 1);
    const Segment sob3 = nth(list, SOB_WSQ, 2);
    // Before block 3: a comment and table 1 again under id 4, and block 3 names table 4.
    Bytes extra = {0xff, 0xa8, 0x00, 0x05, 'a', 'b', 'c'};
    Bytes table(stream.begin() + static_cast<long>(dht1.offset),
                stream.begin() + static_cast<long>(dht1.offset + dht1.size));
    table[4] = 4;
    extra.insert(extra.end(), table.begin(), table.end());
    Bytes s(stream.begin(), stream.begin() + static_cast<long>(sob3.offset));
    s.insert(s.end(), extra.begin(), extra.end());
    s.insert(s.end(), stream.begin() + static_cast<long>(sob3.offset), stream.end());
    s[sob3.offset + extra.size() + 4] = 4;
    const Result a = decode(stream), b = decode(s);
    ASSERT_EQ(b.ret, 0) << b.diag;
    EXPECT_EQ(a.px, b.px);
    // Without the new table, id 4 is undefined.
    Bytes u = stream;
    u[sob3.offset + 4] = 4;
    EXPECT_EQ(decode(u).ret, -51);
}

// A quantization table between blocks replaces the first for every coefficient, those of the
// block before it included, on one thread or two.
TEST_F(DecoderStreams, AQuantizationTableBetweenBlocksGovernsEveryCoefficient) {
    const auto list = segments(stream);
    const Segment dqt = nth(list, DQT_WSQ), sob2 = nth(list, SOB_WSQ, 1);
    const auto at = [&](size_t offset) { return stream.begin() + static_cast<long>(offset); };
    Bytes table(at(dqt.offset), at(dqt.offset + dqt.size));
    table[7 + 5 * 6 + 2] ^= 0x10;  // subband 5's bin width: block 1
    Bytes between(stream.begin(), at(sob2.offset));
    between.insert(between.end(), table.begin(), table.end());
    between.insert(between.end(), at(sob2.offset), stream.end());
    Bytes replaced = stream;
    std::copy(table.begin(), table.end(), replaced.begin() + static_cast<long>(dqt.offset));
    const Result expected = decode(replaced);
    ASSERT_EQ(expected.ret, 0) << expected.diag;
    EXPECT_NE(expected.px, decode(stream).px);
    for (int threads : {1, 2}) {
        DecoderState state;
        state.threads = threads;
        const Result got = decode_with(state, between);
        EXPECT_EQ(got.ret, 0) << got.diag;
        EXPECT_EQ(got.diag, expected.diag);
        EXPECT_EQ(got.px, expected.px) << threads;
    }
}

TEST_F(DecoderStreams, TransformAndQuantizationTablesOutliveADecode) {
    const auto list = segments(stream);
    const Segment dtt = nth(list, DTT_WSQ), dqt = nth(list, DQT_WSQ);
    ASSERT_LT(dtt.offset, dqt.offset);
    Bytes s(stream.begin(), stream.begin() + static_cast<long>(dtt.offset));
    s.insert(s.end(), stream.begin() + static_cast<long>(dqt.offset + dqt.size), stream.end());
    DecoderState fresh;
    EXPECT_EQ(decode_with(fresh, s).ret, -92);  // no quantization table yet
    DecoderState used;
    const Result first = decode_with(used, stream);
    const Result second = decode_with(used, s);
    ASSERT_EQ(second.ret, 0) << second.diag;
    EXPECT_EQ(first.px, second.px);
}

TEST_F(DecoderStreams, FailuresLeaveTheOutputsUntouched) {
    const auto list = segments(stream);
    const size_t dht = nth(list, DHT_WSQ).offset, sob = nth(list, SOB_WSQ).offset;
    // Cuts in the header, in the tables after the frame, in a block header and in coded data.
    for (size_t cut : {size_t{1}, size_t{40}, nth(list, SOF_WSQ).offset + 4, dht, dht + 3, sob + 3,
                       stream.size() / 2, stream.size() - 1}) {
        Bytes s(stream.begin(), stream.begin() + static_cast<long>(cut));
        const Result r = decode(s);
        EXPECT_LT(r.ret, 0) << cut;
        EXPECT_EQ(r.w, -5);
        EXPECT_EQ(r.ppi, -5);
        EXPECT_FALSE(r.diag.empty());
    }
}

TEST_F(DecoderStreams, MutatedAndTruncatedStreamsNeverCrash) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    int decoded = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes s = stream;
        std::uniform_int_distribution<size_t> at(0, s.size() - 1);
        const int edits = 1 + round % 4;
        for (int e = 0; e < edits; ++e) {
            const size_t i = round % 3 == 0 ? std::min(s.size() - 1, 300 + at(rng) % 500) : at(rng);
            s[i] = static_cast<unsigned char>(byte(rng));
        }
        if (round % 5 == 0) s.resize(at(rng));
        const Result r = decode(s);
        if (r.ret == 0) {
            ++decoded;
            EXPECT_EQ(r.px.size(), static_cast<size_t>(r.w) * static_cast<size_t>(r.h));
        } else {
            EXPECT_EQ(r.w, -5);
        }
    }
    EXPECT_GT(decoded, 0);
}

// ---- the stream taken apart without decoding

TEST_F(DecoderStreams, InspectionListsTheSegmentsAndWhatTheyHold) {
    StreamInfo info;
    std::string error;
    ASSERT_TRUE(inspect_stream(stream, info, error)) << error;
    std::string names;
    for (const SegmentInfo& seg : info.segments)
        names += std::string(marker_name(seg.marker)) + " ";
    EXPECT_EQ(names, "SOI COM COM DTT DQT SOF DHT SOB DHT SOB SOB EOI ");
    EXPECT_TRUE(info.ended);
    ASSERT_TRUE(info.frame.has_value());
    EXPECT_EQ(info.frame->width, kW);
    EXPECT_EQ(info.frame->height, kH);
    EXPECT_EQ(info.transform_taps, (std::vector<std::pair<int, int>>{{7, 9}}));
    EXPECT_EQ(info.huffman_ids, (std::vector<int>{0, 1}));
    EXPECT_EQ(info.block_tables, (std::vector<int>{0, 1, 1}));
    ASSERT_EQ(info.comments.size(), 2u);
    EXPECT_EQ(info.comments[1], "scanner 7");
    const auto width = std::find_if(info.nistcom.begin(), info.nistcom.end(),
                                    [](const auto& a) { return a.first == "PIX_WIDTH"; });
    ASSERT_NE(width, info.nistcom.end());
    EXPECT_EQ(width->second, std::optional<std::string>("300"));
    size_t coded = 0;
    for (const SegmentInfo& seg : info.segments) coded += seg.coded_bytes;
    EXPECT_EQ(coded, segments(stream)[7].size + segments(stream)[9].size +
                         segments(stream)[10].size - 3 * 5);  // less the block headers
}

TEST_F(DecoderStreams, InspectionStopsAtTheFirstBrokenSegment) {
    const auto list = segments(stream);
    const size_t dtt = nth(list, DTT_WSQ).offset, dqt = nth(list, DQT_WSQ).offset;
    const auto with = [&](size_t at, std::initializer_list<unsigned char> bytes) {
        Bytes s = stream;
        std::copy(bytes.begin(), bytes.end(), s.begin() + static_cast<long>(at));
        return s;
    };
    const size_t sof = nth(list, SOF_WSQ).offset, dht = nth(list, DHT_WSQ).offset;
    const size_t sob = nth(list, SOB_WSQ).offset, com = nth(list, COM_WSQ).offset;
    const std::string d = std::to_string(dtt), q = std::to_string(dqt);
    const auto at = [](const char* name, size_t offset, const char* what) {
        return std::string(name) + " segment at offset " + std::to_string(offset) + what;
    };
    const std::vector<std::pair<Bytes, std::string>> rows = {
        {with(1, {0xa1}), "not a WSQ stream (no SOI marker at the start)"},
        {Bytes{0xff, 0xa0, 0x12, 0x34}, "no marker at offset 2"},
        {with(dtt + 2, {0x00, 0x01}), "DTT segment at offset " + d + " has a bad length"},
        {with(dtt + 2, {0xff, 0xf0}), "DTT segment at offset " + d + " has a bad length"},
        {with(dqt + 2, {0x00, 0x0a}), "DQT segment at offset " + q + " cannot be read"},
        {with(sof + 2, {0x00, 0x03}), at("SOF", sof, " cannot be read")},
        {with(dht + 2, {0x00, 0x05}), at("DHT", dht, " cannot be read")},
        {with(sob + 2, {0x00, 0x02}), at("SOB", sob, " cannot be read")},
        {with(com, {0xff, 0xa7, 0x00, 0x01}), at("DRT", com, " has a bad length")},
        {with(com, {0xff, 0xb0, 0x00, 0x01}), at("?", com, " has a bad length")},
        {Bytes(stream.begin(), stream.end() - 2), "the stream ends without an EOI marker"},
    };
    for (const auto& [bytes, message] : rows) {
        StreamInfo info;
        std::string error;
        EXPECT_FALSE(inspect_stream(bytes, info, error)) << message;
        EXPECT_EQ(error, message);
    }
}

// ---- comment extraction

TEST_F(DecoderStreams, CommentScanReturnsTheLastCommentBeforeTheFirstBlock) {
    char* comment = nullptr;
    ASSERT_EQ(scan_comments(stream.data(), stream.size(), &comment), 0);
    ASSERT_NE(comment, nullptr);
    EXPECT_STREQ(comment, "scanner 7");
    std::free(comment);

    const Bytes plain = encode(pixels, kW, kH, 0.75f, nullptr);
    comment = nullptr;
    ASSERT_EQ(scan_comments(plain.data(), plain.size(), &comment), 0);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(std::string(comment).rfind("NIST_COM 9\nPIX_WIDTH 300\n", 0), 0u);
    std::free(comment);
}

TEST(CommentScan, LeavesTheCallersValueWithoutCommentsAndReportsOnlyLeadingMarkers) {
    char mine[] = "mine";
    char* comment = mine;
    const Bytes none = {0xff, 0xa0, 0xff, 0xa4, 0x00, 0x02, 0xff, 0xa3, 0x00};
    ASSERT_EQ(scan_comments(none.data(), none.size(), &comment), 0);
    EXPECT_EQ(comment, mine);

    DiagCapture capture;
    const Bytes not_soi = {0xff, 0xa1};
    EXPECT_EQ(scan_comments(not_soi.data(), not_soi.size(), &comment), -88);
    const Bytes short_after = {0xff, 0xa0, 0xff};
    EXPECT_EQ(scan_comments(short_after.data(), short_after.size(), &comment), -40);
    const Bytes no_marker = {0xff, 0xa0, 0x12, 0x34};
    EXPECT_EQ(scan_comments(no_marker.data(), no_marker.size(), &comment), -91);
    EXPECT_EQ(comment, mine);

    // Two comments, then a broken segment: the scan ends quietly with the last comment read.
    const Bytes two = {0xff, 0xa0, 0xff, 0xa8, 0x00, 0x03, 'a',  0xff, 0xa8,
                       0x00, 0x03, 'b',  0xff, 0xa5, 0x00, 0x40, 0x01};
    ASSERT_EQ(scan_comments(two.data(), two.size(), &comment), 0);
    ASSERT_NE(comment, mine);
    EXPECT_STREQ(comment, "b");
    std::free(comment);
}

}  // namespace
}  // namespace quorvel::wsq
