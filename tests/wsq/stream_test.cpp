#include "wsq/stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/filter_bank.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<unsigned char>;

struct Writer {
    explicit Writer(int alloc) : data(static_cast<size_t>(alloc)), out{data.data(), alloc, 0} {}
    Bytes bytes() const { return Bytes(data.begin(), data.begin() + out.length); }
    Bytes data;
    OutputBuffer out;
};

InputCursor cursor(const Bytes& b) { return InputCursor{b.data(), b.data() + b.size()}; }

uint32_t bits_of(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

const Bytes kTransformTable = {
    0xff, 0xa4, 0x00, 0x3a, 0x09, 0x07,                                      //
    0x00, 0x09, 0x32, 0xd3, 0x25, 0xcd, 0x00, 0x0a, 0xe0, 0xf3, 0x19, 0x9a,  //
    0x01, 0x0a, 0x41, 0xef, 0xf1, 0x9a, 0x01, 0x0b, 0x8e, 0x27, 0x64, 0xcd,  //
    0x00, 0x0b, 0xe1, 0x79, 0xa3, 0x33,                                      //
    0x00, 0x09, 0x2e, 0xff, 0x56, 0x00, 0x01, 0x0a, 0xf9, 0x33, 0xd3, 0x33,  //
    0x01, 0x0b, 0xf2, 0x87, 0x21, 0x9a, 0x00, 0x0a, 0x26, 0x77, 0xda, 0x33};

TEST(StreamBytes, GetsStopAtTheEndAndLeaveTheCursor) {
    const Bytes b = {0x12, 0x34, 0x56};
    InputCursor in = cursor(b);
    unsigned short s;
    ASSERT_EQ(getc_u16(&s, in), 0);
    EXPECT_EQ(s, 0x1234);
    unsigned int u;
    DiagCapture capture;
    EXPECT_EQ(getc_u32(&u, in), -40);
    EXPECT_EQ(capture.text(), "ERROR : getc_bytes : premature End Of Buffer\n");
    EXPECT_EQ(in.pos, b.data() + 2);
    unsigned char c;
    ASSERT_EQ(getc_byte(&c, in), 0);
    EXPECT_EQ(c, 0x56);
    capture.clear();
    EXPECT_EQ(getc_byte(&c, in), -39);
    EXPECT_EQ(capture.text(), "ERROR : getc_byte : premature End Of Buffer\n");
}

TEST(StreamBytes, PutsAreBigEndianAndRefuseToOverflow) {
    Writer w(7);
    ASSERT_EQ(putc_u32(0x01020304u, w.out), 0);
    ASSERT_EQ(putc_u16(0xA0B0, w.out), 0);
    DiagCapture capture;
    EXPECT_EQ(putc_u16(0x1111, w.out), -33);
    EXPECT_EQ(capture.text(), "ERROR : putc_bytes : buffer overlow : alloc = 7, request = 8\n");
    ASSERT_EQ(putc_byte(0xEE, w.out), 0);
    capture.clear();
    EXPECT_EQ(putc_byte(0xEF, w.out), -32);
    EXPECT_EQ(capture.text(), "ERROR : putc_byte : buffer overlow : alloc = 7, request = 7\n");
    EXPECT_EQ(w.bytes(), (Bytes{1, 2, 3, 4, 0xA0, 0xB0, 0xEE}));
}

// Every segment writer, and its reader over what it wrote (from the length field on).
struct SegmentCase {
    const char* name;
    std::function<int(OutputBuffer&)> write;
    std::function<int(InputCursor&)> read;
};

std::vector<SegmentCase> segment_cases() {
    static const unsigned char bits[16] = {0, 2, 1};
    static const unsigned char values[3] = {180, 181, 1};
    static float q[MAX_SUBBANDS], z[MAX_SUBBANDS];
    for (int k = 0; k < NUM_SUBBANDS; ++k) q[k] = 1.5f + k, z[k] = 1.2f * q[k];
    static DecoderState state;
    return {
        {"transform",
         [](OutputBuffer& o) {
             return putc_transform_table(kAnalysisLowPass, kLowPassTaps, kAnalysisHighPass,
                                         kHighPassTaps, o);
         },
         [](InputCursor& in) { return getc_transform_table(state.dtt, in); }},
        {"quantization", [](OutputBuffer& o) { return putc_quantization_table(q, z, o); },
         [](InputCursor& in) { return getc_quant_table(state.dqt, in); }},
        {"frame", [](OutputBuffer& o) { return putc_frame_header(545, 622, 171.4f, 1.3f, o); },
         [](InputCursor& in) { return getc_frame_header(state.frame, in); }},
        {"block", [](OutputBuffer& o) { return putc_block_hdr(2, o); },
         [](InputCursor& in) {
             unsigned char id;
             return getc_block_hdr(&id, in);
         }},
        {"huffman", [](OutputBuffer& o) { return putc_huff_table(DHT_WSQ, 1, bits, values, o); },
         [](InputCursor& in) { return getc_huffman_table_wsq(state.dht, in); }},
        {"comment", [](OutputBuffer& o) { return putc_comment_segment(COM_WSQ, "abc", 3, o); },
         [](InputCursor& in) {
             char* text = nullptr;
             const int ret = getc_comment(&text, in);
             std::free(text);
             return ret;
         }},
    };
}

TEST(StreamSegments, WritersStopAtAFullBufferAndReadersAtATruncatedSegment) {
    DiagCapture capture;
    for (const SegmentCase& c : segment_cases()) {
        Writer full(1024);
        ASSERT_EQ(c.write(full.out), 0) << c.name;
        const Bytes whole = full.bytes();
        for (int alloc = 0; alloc < static_cast<int>(whole.size()); ++alloc) {
            Writer w(alloc);
            const int ret = c.write(w.out);
            EXPECT_TRUE(ret == kOutputFullByte || ret == kOutputFullBytes) << c.name << alloc;
            const Bytes part = w.bytes();
            EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << c.name << alloc;
        }
        const Bytes segment(whole.begin() + 2, whole.end());  // after the marker
        InputCursor in = cursor(segment);
        ASSERT_EQ(c.read(in), 0) << c.name;
        EXPECT_EQ(in.pos, in.end) << c.name;
        for (size_t cut = 0; cut < segment.size(); ++cut) {
            const Bytes head(segment.begin(), segment.begin() + static_cast<long>(cut));
            InputCursor short_in = cursor(head);
            capture.clear();
            const int ret = c.read(short_in);
            EXPECT_TRUE(ret == kEndOfBufferByte || ret == kEndOfBufferBytes) << c.name << cut;
            EXPECT_NE(capture.text().find("premature End Of Buffer"), std::string::npos)
                << c.name << cut << capture.text();
        }
    }
}

TEST(ScaledDecimal, KeepsAsManyDigitsAsFit) {
    unsigned char scale;
    unsigned int value;
    encode_scaled_decimal(0.852698684f, SCALED_U32_MAX, &scale, &value);
    EXPECT_EQ(scale, 9);
    EXPECT_EQ(value, 852698573u);
    encode_scaled_decimal(0.0f, SCALED_U16_MAX, &scale, &value);
    EXPECT_EQ(scale, 0);
    EXPECT_EQ(value, 0u);
    encode_scaled_decimal(1.2f, SCALED_U16_MAX, &scale, &value);
    EXPECT_EQ(scale, 4);
    EXPECT_EQ(value, 12000u);
    // Repeated multiplication by 0.1 rounded each time, not a single division.
    EXPECT_EQ(bits_of(decode_scaled_decimal(852698573u, 9)), 0x3f5a4a75u);
    EXPECT_EQ(decode_scaled_decimal(44, 2), decode_scaled_decimal(4400, 4) * 1.0f);
}

TEST(TransformTable, WrittenFiltersAreTheSixtyKnownBytes) {
    Writer w(100);
    ASSERT_EQ(putc_transform_table(kAnalysisLowPass, kLowPassTaps, kAnalysisHighPass, kHighPassTaps,
                                   w.out),
              0);
    EXPECT_EQ(w.bytes(), kTransformTable);
}

TEST(TransformTable, ReadsBackAsTheSynthesisFilters) {
    InputCursor in = cursor(kTransformTable);
    unsigned short marker;
    ASSERT_EQ(getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in), 0);
    DecoderState state;
    ASSERT_EQ(getc_table_wsq(marker, state, in), 0);
    EXPECT_EQ(in.pos, in.end);
    const WsqTransformTable& t = state.dtt;
    ASSERT_EQ(t.losize, 7);
    ASSERT_EQ(t.hisize, 9);
    EXPECT_EQ(t.lo_defined, 1);
    EXPECT_EQ(t.hi_defined, 1);
    const uint32_t lo[7] = {0xbd842cf7, 0xbd26a9f5, 0x3ed61030, 0x3f49da32,
                            0x3ed61030, 0xbd26a9f5, 0xbd842cf7};
    const uint32_t hi[9] = {0x3d1af202, 0x3cc35ff5, 0xbde28f0a, 0xbec13af1, 0x3f5a4a75,
                            0xbec13af1, 0xbde28f0a, 0x3cc35ff5, 0x3d1af202};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(bits_of(t.lofilt[i]), lo[i]) << "lofilt " << i;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(bits_of(t.hifilt[i]), hi[i]) << "hifilt " << i;
}

TEST(TransformTable, EvenLengthsMirrorWithTheirSigns) {
    // 4 low-pass taps and 2 high-pass taps: right halves 0.5, 0.25 and 0.75.
    const float lo[4] = {0.25f, 0.5f, 0.5f, 0.25f};
    const float hi[2] = {-0.75f, 0.75f};
    Writer w(64);
    ASSERT_EQ(putc_transform_table(lo, 4, hi, 2, w.out), 0);
    Bytes b = w.bytes();
    InputCursor in{b.data() + 2, b.data() + b.size()};
    WsqTransformTable t;
    ASSERT_EQ(getc_transform_table(t, in), 0);
    ASSERT_EQ(t.hisize, 4);
    ASSERT_EQ(t.losize, 2);
    EXPECT_FLOAT_EQ(t.hifilt[2], 0.5f);
    EXPECT_FLOAT_EQ(t.hifilt[1], -0.5f);
    EXPECT_FLOAT_EQ(t.hifilt[3], -0.25f);
    EXPECT_FLOAT_EQ(t.hifilt[0], 0.25f);
    EXPECT_FLOAT_EQ(t.lofilt[1], -0.75f);
    EXPECT_FLOAT_EQ(t.lofilt[0], -0.75f);
    release_transform_table(t);
}

TEST(TransformTable, ZeroCoefficientAndOverflow) {
    const float lo[3] = {0.0f, 0.0f, 0.0f};
    const float hi[1] = {-5e9f};
    Writer w(64);
    DiagCapture capture;
    EXPECT_EQ(putc_transform_table(lo, 3, hi, 1, w.out), -83);
    EXPECT_EQ(capture.text(),
              "ERROR: putc_transform_table : hifilt[0] to high at 5000000000.000000\n");
    // The zero taps went out as sign 0, scale 0, value 0 before the failure.
    const Bytes b = w.bytes();
    ASSERT_EQ(b.size(), 6u + 12u);
    for (size_t i = 6; i < b.size(); ++i) EXPECT_EQ(b[i], 0) << i;
    const float big[1] = {4294967296.0f};
    Writer w2(64);
    EXPECT_EQ(putc_transform_table(big, 1, lo, 1, w2.out), -82);
}

TEST(TransformTable, TruncatedTableKeepsThePreviousFilters) {
    DecoderState state;
    InputCursor in = cursor(kTransformTable);
    in.pos += 2;
    ASSERT_EQ(getc_transform_table(state.dtt, in), 0);
    const float centre = state.dtt.hifilt[4];
    Bytes cut(kTransformTable.begin() + 2, kTransformTable.end() - 3);
    InputCursor in2 = cursor(cut);
    DiagCapture capture;
    EXPECT_EQ(getc_transform_table(state.dtt, in2), -40);
    EXPECT_EQ(state.dtt.hifilt[4], centre);
}

TEST(QuantTable, StartsWithTheBinCentreAndRoundTrips) {
    float q[64] = {}, z[64] = {};
    for (int k = 0; k < 64; ++k) {
        q[k] = (k % 7 == 3) ? 0.0f : 0.5f + 0.37f * static_cast<float>(k);
        z[k] = 1.2f * q[k];
    }
    Writer w(400);
    ASSERT_EQ(putc_quantization_table(q, z, w.out), 0);
    const Bytes b = w.bytes();
    ASSERT_EQ(b.size(), 391u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 7), (Bytes{0xff, 0xa5, 0x01, 0x85, 0x02, 0x00, 0x2c}));
    InputCursor in{b.data() + 2, b.data() + b.size()};
    WsqQuantTable t;
    ASSERT_EQ(getc_quant_table(t, in), 0);
    EXPECT_EQ(t.defined, 1);
    EXPECT_FLOAT_EQ(t.bin_center, 0.44f);
    for (int k = 0; k < 64; ++k) {
        const bool sent = k < 60 && q[k] != 0.0f;
        EXPECT_NEAR(t.bin_width[k], sent ? q[k] : 0.0f, 1e-4f) << k;
        EXPECT_NEAR(t.zero_bin_width[k], sent ? z[k] : 0.0f, 1e-4f) << k;
    }
}

TEST(QuantTable, RefusesWidthsBeyondSixteenBits) {
    float q[64] = {}, z[64] = {};
    q[5] = 70000.0f;
    z[5] = 84000.0f;
    Writer w(400);
    DiagCapture capture;
    EXPECT_EQ(putc_quantization_table(q, z, w.out), -86);
    EXPECT_EQ(capture.text(), "ERROR : putc_quantization_table : Q[5] to high at 70000.000000\n");
    q[5] = 60000.0f;
    Writer w2(400);
    EXPECT_EQ(putc_quantization_table(q, z, w2.out), -87);
}

TEST(FrameHeader, RoundTripsWithHeightBeforeWidth) {
    Writer w(32);
    ASSERT_EQ(putc_frame_header(545, 622, 0.0f, 0.0f, w.out), 0);
    Bytes b = w.bytes();
    EXPECT_EQ(b, (Bytes{0xff, 0xa2, 0x00, 0x11, 0x00, 0xff, 0x02, 0x6e, 0x02, 0x21, 0, 0, 0, 0, 0,
                        0, 0, 0, 0}));
    Writer w2(32);
    ASSERT_EQ(putc_frame_header(800, 750, 171.4375f, 1.33544922f, w2.out), 0);
    b = w2.bytes();
    InputCursor in{b.data() + 2, b.data() + b.size()};
    WsqFrameHeader f;
    ASSERT_EQ(getc_frame_header(f, in), 0);
    EXPECT_EQ(f.width, 800);
    EXPECT_EQ(f.height, 750);
    EXPECT_EQ(f.white, 255);
    // Five significant digits fit below 65535.
    EXPECT_FLOAT_EQ(f.m_shift, 171.44f);
    EXPECT_FLOAT_EQ(f.r_scale, 1.3354f);
}

TEST(Markers, ClassesAcceptTheirMarkersOnly) {
    struct Case {
        Bytes bytes;
        MarkerClass type;
        int ret;
        std::string text;
    };
    const Case cases[] = {
        {{0xff, 0xa0}, MarkerClass::Soi, 0, ""},
        {{0xff, 0xa1}, MarkerClass::Soi, -88, "ERROR : getc_marker_wsq : No SOI marker. {65441}\n"},
        {{0xff, 0xa2}, MarkerClass::TablesOrSof, 0, ""},
        {{0xff, 0xa3},
         MarkerClass::TablesOrSof,
         -89,
         "ERROR : getc_marker_wsq : No SOF, Table, or comment markers.\n"},
        {{0xff, 0xa7},
         MarkerClass::TablesOrSof,
         -89,
         "ERROR : getc_marker_wsq : No SOF, Table, or comment markers.\n"},
        {{0xff, 0xa8}, MarkerClass::TablesOrSob, 0, ""},
        {{0xff, 0xa2},
         MarkerClass::TablesOrSob,
         -90,
         "ERROR : getc_marker_wsq : No SOB, Table, or comment markers.\n"},
        {{0xff, 0xa7}, MarkerClass::Any, 0, ""},
        {{0x12, 0x34}, MarkerClass::Any, -91, "ERROR : getc_marker_wsq : no marker found {1234}\n"},
        {{0xff, 0xa0},
         static_cast<MarkerClass>(7),
         -92,
         "ERROR : getc_marker_wsq : Invalid marker -> {FFA0}\n"},
        {{0xff}, MarkerClass::Any, -40, "ERROR : getc_bytes : premature End Of Buffer\n"},
    };
    for (const Case& c : cases) {
        InputCursor in = cursor(c.bytes);
        unsigned short marker = 0;
        DiagCapture capture;
        EXPECT_EQ(getc_marker_wsq(&marker, c.type, in), c.ret) << c.text;
        EXPECT_EQ(capture.text(), c.text);
        if (c.ret == 0) {
            EXPECT_EQ(marker, (c.bytes[0] << 8) | c.bytes[1]);
        }
    }
}

TEST(Markers, UnexpectedSegmentIsRefused) {
    DecoderState state;
    const Bytes b = {0x00, 0x03, 0x00};
    InputCursor in = cursor(b);
    DiagCapture capture;
    EXPECT_EQ(getc_table_wsq(SOF_WSQ, state, in), -93);
    EXPECT_EQ(capture.text(), "ERROR: getc_table_wsq : Invalid table defined -> {65442}\n");
}

TEST(BitReader, StuffedZeroIsDataAndAMarkerEndsOnlyAOneBitRead) {
    DecoderState state;
    const Bytes b = {0xA5, 0xFF, 0x00, 0x3C, 0xFF, 0xA3};
    InputCursor in = cursor(b);
    int count = 0;
    unsigned short bits = 0, marker = 0;
    ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, 3, state), 0);
    EXPECT_EQ(bits, 0x5);  // 101
    ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, 8, state), 0);
    EXPECT_EQ(bits, 0x2F);  // 00101 then 111 of the stuffed 0xFF
    ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, 13, state), 0);
    EXPECT_EQ(bits, 0x1F3C);  // 11111 then 0x3C
    EXPECT_EQ(marker, 0);
    ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, 1, state), 0);
    EXPECT_EQ(marker, SOB_WSQ);
    EXPECT_EQ(count, 8);
}

TEST(BitReader, MarkerInsideAMultiBitReadIsAnError) {
    for (int start : {0, 4}) {
        DecoderState state;
        const Bytes b = {0xF0, 0xFF, 0xA1};
        InputCursor in = cursor(b);
        int count = 0;
        unsigned short bits = 0, marker = 0;
        if (start == 4) {
            ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, 4, state), 0);
        } else {
            ASSERT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, 8, state), 0);
        }
        DiagCapture capture;
        // Needs the next byte: at a byte boundary (8 bits) or in the middle (6 bits).
        EXPECT_EQ(getc_nextbits_wsq(&bits, &marker, in, &count, start == 4 ? 6 : 8, state), -41);
        EXPECT_EQ(capture.text(), "ERROR: getc_nextbits_wsq : No stuffed zeros\n");
        EXPECT_EQ(marker, 0);
    }
}

Bytes dht_segment(const std::vector<std::pair<int, Bytes>>& tables) {
    // Each table: id, then 16 counts (first entry = number of one-bit codes) and values.
    Bytes body;
    for (const auto& [id, values] : tables) {
        body.push_back(static_cast<unsigned char>(id));
        Bytes counts(16, 0);
        counts[7] = static_cast<unsigned char>(values.size());
        body.insert(body.end(), counts.begin(), counts.end());
        body.insert(body.end(), values.begin(), values.end());
    }
    Bytes seg = {static_cast<unsigned char>((body.size() + 2) >> 8),
                 static_cast<unsigned char>(body.size() + 2)};
    seg.insert(seg.end(), body.begin(), body.end());
    return seg;
}

TEST(HuffmanSegment, SeveralTablesPerSegmentAndRedefinitionRules) {
    DecoderState state;
    Bytes seg = dht_segment({{2, {7, 8}}, {5, {9}}});
    InputCursor in = cursor(seg);
    ASSERT_EQ(getc_huffman_table_wsq(state.dht, in), 0);
    EXPECT_EQ(in.pos, in.end);
    EXPECT_EQ(state.dht[2].defined, 1);
    EXPECT_EQ(state.dht[5].defined, 1);
    EXPECT_EQ(state.dht[2].huffbits[7], 2);
    EXPECT_EQ(state.dht[2].huffvalues[1], 8);
    EXPECT_EQ(state.dht[5].huffvalues[0], 9);

    // A later segment's first table replaces a defined id.
    seg = dht_segment({{2, {11}}});
    in = cursor(seg);
    ASSERT_EQ(getc_huffman_table_wsq(state.dht, in), 0);
    EXPECT_EQ(state.dht[2].huffvalues[0], 11);
    EXPECT_EQ(state.dht[2].huffvalues[1], 0);

    // After the first table, a defined id may not come again.
    seg = dht_segment({{3, {1}}, {5, {2}}});
    in = cursor(seg);
    DiagCapture capture;
    EXPECT_EQ(getc_huffman_table_wsq(state.dht, in), -2);
    EXPECT_EQ(capture.text(),
              "ERROR : getc_huffman_table_wsq : huffman table ID = 5 already defined\n");
}

TEST(HuffmanSegment, TableIdsWithoutASlotAreRefused) {
    DecoderState state;
    for (int id : {8, 255}) {
        Bytes seg = dht_segment({{id, {1}}});
        InputCursor in = cursor(seg);
        DiagCapture capture;
        EXPECT_EQ(getc_huffman_table_wsq(state.dht, in), -93);
        EXPECT_FALSE(capture.text().empty());
    }
    Bytes seg = dht_segment({{0, {1}}, {9, {2}}});
    InputCursor in = cursor(seg);
    DiagCapture capture;
    EXPECT_EQ(getc_huffman_table_wsq(state.dht, in), -93);
}

TEST(HuffmanSegment, ValueCountLimitAndShortLengths) {
    auto segment_with_counts = [](int total) {
        Bytes body = {0};
        Bytes counts(16, 0);
        int left = total;
        for (int i = 15; i >= 0 && left > 0; --i) {
            counts[i] = static_cast<unsigned char>(left > 255 ? 255 : left);
            left -= counts[i];
        }
        body.insert(body.end(), counts.begin(), counts.end());
        body.resize(body.size() + static_cast<size_t>(total), 1);
        Bytes seg = {static_cast<unsigned char>((body.size() + 2) >> 8),
                     static_cast<unsigned char>(body.size() + 2)};
        seg.insert(seg.end(), body.begin(), body.end());
        return seg;
    };
    DecoderState state;
    Bytes ok = segment_with_counts(257);
    InputCursor in = cursor(ok);
    EXPECT_EQ(getc_huffman_table_wsq(state.dht, in), 0);

    Bytes bad = segment_with_counts(258);
    in = cursor(bad);
    DiagCapture capture;
    EXPECT_EQ(getc_huffman_table_wsq(state.dht, in), -4);
    EXPECT_EQ(capture.text(),
              "ERROR : getc_huffman_table : num_hufvals (258) is largerthan "
              "MAX_HUFFCOUNTS (257)\n");

    for (unsigned char len : {0, 1, 2}) {
        const Bytes seg = {0x00, len, 0x00};
        in = cursor(seg);
        capture.clear();
        EXPECT_EQ(getc_huffman_table_wsq(state.dht, in), -2);
        EXPECT_EQ(capture.text(),
                  "ERROR : getc_huffman_table : no huffman table bytes remaining\n");
    }
}

TEST(HuffmanSegment, WriterLayout) {
    unsigned char bits[16] = {0, 2, 1};
    const unsigned char values[3] = {180, 181, 1};
    Writer w(64);
    ASSERT_EQ(putc_huff_table(DHT_WSQ, 1, bits, values, w.out), 0);
    const Bytes b = w.bytes();
    ASSERT_EQ(b.size(), 2u + 19u + 3u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 5), (Bytes{0xff, 0xa6, 0x00, 22, 1}));
    EXPECT_EQ(Bytes(b.end() - 3, b.end()), (Bytes{180, 181, 1}));
}

TEST(Comments, RoundTripEmptyAndMalformedLengths) {
    const std::string text = "line one\nline\ttwo \r";
    Writer w(64);
    ASSERT_EQ(putc_comment_segment(COM_WSQ, text.data(), static_cast<int>(text.size()), w.out), 0);
    ASSERT_EQ(putc_comment_segment(COM_WSQ, "", 0, w.out), 0);
    Bytes b = w.bytes();
    EXPECT_EQ(b.size(), 4 + text.size() + 4);
    InputCursor in = cursor(b);
    char* comment = nullptr;
    in.pos += 2;
    ASSERT_EQ(getc_comment(&comment, in), 0);
    EXPECT_EQ(std::string(comment), text);
    std::free(comment);
    in.pos += 2;
    ASSERT_EQ(getc_comment(&comment, in), 0);
    EXPECT_STREQ(comment, "");
    std::free(comment);

    for (unsigned char len : {0, 1}) {
        const Bytes bad = {0x00, len, 'a', 'b'};
        InputCursor bin = cursor(bad);
        comment = nullptr;
        DiagCapture capture;
        EXPECT_EQ(getc_comment(&comment, bin), -2);
        EXPECT_EQ(comment, nullptr);
    }
    const Bytes cut = {0x00, 0x08, 'a', 'b'};
    InputCursor cin = cursor(cut);
    DiagCapture capture;
    EXPECT_EQ(getc_comment(&comment, cin), -40);
}

TEST(Comments, LengthFieldNeverWraps) {
    std::string longest(MAX_COMMENT_LENGTH, 'x');
    Writer w(70000);
    ASSERT_EQ(putc_comment_segment(COM_WSQ, longest.data(), MAX_COMMENT_LENGTH, w.out), 0);
    EXPECT_EQ(w.out.length, 65537);
    EXPECT_EQ(w.data[2], 0xff);
    EXPECT_EQ(w.data[3], 0xff);
    longest.push_back('y');
    Writer w2(70000);
    DiagCapture capture;
    EXPECT_EQ(putc_comment_segment(COM_WSQ, longest.data(), MAX_COMMENT_LENGTH + 1, w2.out), -34);
    EXPECT_EQ(w2.out.length, 0);
}

TEST(SkipSegment, MustLeaveAtLeastOneByteAfterIt) {
    const Bytes b = {0x00, 0x05, 1, 2, 3, 0xff};
    InputCursor in = cursor(b);
    ASSERT_EQ(getc_skip_marker_segment(DTT_WSQ, in), 0);
    EXPECT_EQ(in.pos, b.data() + 5);

    const Bytes exact = {0x00, 0x05, 1, 2, 3};
    in = cursor(exact);
    DiagCapture capture;
    EXPECT_EQ(getc_skip_marker_segment(DTT_WSQ, in), -2);
    EXPECT_EQ(capture.text(),
              "ERROR : getc_skip_marker_segment : unexpected end of buffer when "
              "parsing marker 65444 segment of length 3\n");
    for (unsigned char len : {0, 1}) {
        const Bytes bad = {0x00, len, 1, 2, 3, 4};
        in = cursor(bad);
        EXPECT_EQ(getc_skip_marker_segment(COM_WSQ, in), -2);
    }
}

}  // namespace
}  // namespace quorvel::wsq
