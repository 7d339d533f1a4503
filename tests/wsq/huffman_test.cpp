#include "wsq/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "wsq/diag.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<unsigned char>;
using Coefficients = std::vector<short>;

// A code table in which every symbol is its own 8-bit code, so that coded bytes spell the
// symbols and their extra bits.
std::vector<WsqHuffcode> identity_codes() {
    std::vector<WsqHuffcode> codes(MAX_HUFFCOUNTS_WSQ + 1);
    for (int s = 0; s < MAX_HUFFCOUNTS_WSQ; ++s) codes[s] = {8, static_cast<unsigned short>(s)};
    return codes;
}

Bytes code_with(const Coefficients& c, const std::vector<WsqHuffcode>& codes, int alloc = 1 << 20) {
    Bytes out(static_cast<size_t>(alloc));
    int n = -1;
    EXPECT_EQ(compress_block(out.data(), alloc, &n, c.data(), static_cast<int>(c.size()),
                             MAX_HUFFCOEFF, MAX_HUFFZRUN, codes.data()),
              0);
    out.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return out;
}

Coefficients zeros(int n) { return Coefficients(static_cast<size_t>(n), 0); }

TEST(HuffmanSymbols, ZeroRuns) {
    const auto codes = identity_codes();
    EXPECT_EQ(code_with(zeros(100), codes), (Bytes{100}));
    EXPECT_EQ(code_with(zeros(101), codes), (Bytes{105, 101}));
    EXPECT_EQ(code_with(zeros(255), codes), (Bytes{105, 255, 0}));
    EXPECT_EQ(code_with(zeros(256), codes), (Bytes{106, 1, 0}));
    EXPECT_EQ(code_with(zeros(65535), codes), (Bytes{106, 0xff, 0, 0xff, 0}));
    EXPECT_EQ(code_with(zeros(65536), codes), (Bytes{106, 0xff, 0, 0xff, 0, 1}));
    EXPECT_EQ(code_with(zeros(131071), codes),
              (Bytes{106, 0xff, 0, 0xff, 0, 106, 0xff, 0, 0xff, 0, 1}));
    Coefficients long_run = zeros(65538);
    long_run[65537] = 3;  // a run that the cap splits, then a coefficient, 4-aligned or not
    EXPECT_EQ(code_with(long_run, codes), (Bytes{106, 0xff, 0, 0xff, 0, 2, 183}));
    Coefficients mixed = {0, 0, 5, 0};
    EXPECT_EQ(code_with(mixed, codes), (Bytes{2, 185, 1}));
}

TEST(HuffmanSymbols, Coefficients) {
    const auto codes = identity_codes();
    struct Case {
        short value;
        Bytes coded;
    };
    const Case cases[] = {
        {74, {254}},
        {-73, {107}},
        {1, {181}},
        {75, {101, 75}},
        {-74, {102, 74}},
        {255, {101, 0xff, 0}},
        {256, {103, 1, 0}},
        {-255, {102, 0xff, 0}},
        {-256, {104, 1, 0}},
        {32767, {103, 0x7f, 0xff, 0}},
        {-32768, {104, 0x80, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(code_with({c.value}, codes), c.coded) << c.value;
}

TEST(HuffmanSymbols, CountsIncludeTheReservedSlotOnly) {
    const Coefficients c = {0, 0, 300, 0, 1, 1};
    int* counts = nullptr;
    ASSERT_EQ(count_block(&counts, 256, c.data(), 6, MAX_HUFFCOEFF, MAX_HUFFZRUN), 0);
    EXPECT_EQ(counts[2], 1);
    EXPECT_EQ(counts[103], 1);
    EXPECT_EQ(counts[1], 1);
    EXPECT_EQ(counts[181], 2);
    EXPECT_EQ(counts[256], 1);
    int total = 0;
    for (int i = 0; i < 256; ++i) total += counts[i];
    EXPECT_EQ(total, 5);
    std::free(counts);
}

TEST(HuffmanBits, PaddingIsOnesAndEveryFFIsStuffed) {
    std::vector<WsqHuffcode> codes(257, WsqHuffcode{0, 0});
    codes[181] = {5, 0x1f};  // coefficient 1
    codes[182] = {3, 0x2};   // coefficient 2
    EXPECT_EQ(code_with({1}, codes), (Bytes{0xff, 0x00}));
    EXPECT_EQ(code_with({2}, codes), (Bytes{0x5f}));
    EXPECT_EQ(code_with({2, 2}, codes), (Bytes{0x4b}));
    EXPECT_EQ(code_with({2, 1, 1}, codes), (Bytes{0x5f, 0xff, 0x00}));
    EXPECT_TRUE(code_with({}, codes).empty());
}

TEST(HuffmanBits, BlockThatDoesNotFitFails) {
    const auto codes = identity_codes();
    Bytes out(3);
    int n = -1;
    DiagCapture capture;
    const Coefficients c = {1, 2, 3, 4};
    EXPECT_EQ(
        compress_block(out.data(), 3, &n, c.data(), 4, MAX_HUFFCOEFF, MAX_HUFFZRUN, codes.data()),
        -33);
    EXPECT_EQ(n, -1);
    EXPECT_FALSE(capture.text().empty());
}

TEST(HuffmanBits, SymbolWithoutACodeFailsInsteadOfVanishing) {
    std::vector<WsqHuffcode> codes(257, WsqHuffcode{0, 0});
    codes[181] = {2, 0x1};
    Bytes out(16);
    int n = -1;
    const Coefficients c = {1, 0, 1};
    DiagCapture capture;
    EXPECT_EQ(
        compress_block(out.data(), 16, &n, c.data(), 3, MAX_HUFFCOEFF, MAX_HUFFZRUN, codes.data()),
        -2);
    EXPECT_EQ(capture.text(), "ERROR : compress_block : no code for symbol 1\n");
}

TEST(HuffmanTables, TwoLeastTakesTheLargerSymbolOnTies) {
    std::vector<int> freq(257, 0);
    int a, b;
    find_two_least(&a, &b, freq.data(), 256);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(b, -1);
    freq[9] = 4;
    find_two_least(&a, &b, freq.data(), 256);
    EXPECT_EQ(a, 9);
    EXPECT_EQ(b, -1);
    freq[3] = 4;
    freq[7] = 4;
    freq[200] = 9;
    find_two_least(&a, &b, freq.data(), 256);
    EXPECT_EQ(a, 9);
    EXPECT_EQ(b, 7);
    freq[256] = 1;
    find_two_least(&a, &b, freq.data(), 256);
    EXPECT_EQ(a, 256);
    EXPECT_EQ(b, 9);
}

TEST(HuffmanTables, CodesLongerThanSixteenBitsAreLimited) {
    // Counts 1, 2, 4, ... 65536 on the symbols 107..123.
    Coefficients c;
    for (int i = 0; i < 17; ++i)
        c.insert(c.end(), static_cast<size_t>(1) << i, static_cast<short>(107 + i - 180));
    const int size = static_cast<int>(c.size());
    WsqHuffcode* table;
    unsigned char *bits, *values;
    ASSERT_EQ(make_block_hufftable(&table, &bits, &values, c.data(), &size, 1), 0);
    for (int len = 1; len <= 14; ++len) EXPECT_EQ(bits[len - 1], 1) << len;
    EXPECT_EQ(bits[14], 0);
    EXPECT_EQ(bits[15], 3);
    for (int len = 17; len <= 32; ++len) EXPECT_EQ(bits[len - 1], 0);
    // The most frequent symbol gets the one-bit code; no code is all ones.
    EXPECT_EQ(values[0], 123);
    EXPECT_EQ(table[123].size, 1);
    for (int s = 0; s < 256; ++s) {
        if (table[s].size > 0) {
            EXPECT_NE(table[s].code, (1u << table[s].size) - 1u) << s;
        }
    }
    std::free(table);
    std::free(bits);
    std::free(values);
}

TEST(HuffmanTables, EverySymbolGetsAPrefixFreeCodeOfAtMostSixteenBits) {
    std::mt19937 rng(77);
    int limited = 0;
    for (int round = 0; round < 60; ++round) {
        // Geometric counts over a random set of symbols; steep ones force limiting.
        Coefficients c;
        const int symbols = 2 + static_cast<int>(rng() % 60);
        const double ratio = 1.2 + (round % 6) * 0.3;
        double count = 1.0;
        std::vector<int> used;
        for (int k = 0; k < symbols && c.size() < 400000; ++k) {
            const int v = static_cast<int>(rng() % 148) - 73;
            if (v == 0 || std::find(used.begin(), used.end(), v) != used.end()) continue;
            used.push_back(v);
            c.insert(c.end(), static_cast<size_t>(count), static_cast<short>(v));
            count *= ratio;
        }
        std::shuffle(c.begin(), c.end(), rng);
        const int size = static_cast<int>(c.size());
        int *counts, *sizes;
        ASSERT_EQ(count_block(&counts, 256, c.data(), size, MAX_HUFFCOEFF, MAX_HUFFZRUN), 0);
        ASSERT_EQ(find_huff_sizes(&sizes, counts, 256), 0);
        if (*std::max_element(sizes, sizes + 256) > 16) ++limited;
        std::free(counts);
        std::free(sizes);
        WsqHuffcode* table;
        unsigned char *bits, *values;
        ASSERT_EQ(make_block_hufftable(&table, &bits, &values, c.data(), &size, 1), 0);
        int codes = 0;
        for (int i = 0; i < 16; ++i) codes += bits[i];
        EXPECT_EQ(codes, static_cast<int>(used.size())) << round;
        std::vector<WsqHuffcode> coded;
        for (int v : used) {
            const WsqHuffcode h = table[v + 180];
            ASSERT_GT(h.size, 0) << v;
            ASSERT_LE(h.size, 16);
            EXPECT_NE(h.code, (1u << h.size) - 1u);
            coded.push_back(h);
        }
        for (size_t a = 0; a < coded.size(); ++a)
            for (size_t b = 0; b < coded.size(); ++b) {
                if (a == b || coded[a].size > coded[b].size) continue;
                const unsigned prefix = coded[b].code >> (coded[b].size - coded[a].size);
                EXPECT_NE(prefix, coded[a].code) << round << ": " << a << " prefixes " << b;
            }
        std::free(table);
        std::free(bits);
        std::free(values);
    }
    EXPECT_GE(limited, 10) << limited;  // the steep rounds went through the 16-bit limit
}

TEST(HuffmanTables, MergingDeeperThanThirtyTwoLevelsIsRefused) {
    // Fibonacci counts make every merge one level deeper.
    std::vector<int> freq(257, 0);
    long long f0 = 1, f1 = 1;
    for (int s = 0; s < 36; ++s) {
        freq[1 + s] = static_cast<int>(f0);
        const long long next = f0 + f1;
        f0 = f1;
        f1 = next;
    }
    int* codesize;
    ASSERT_EQ(find_huff_sizes(&codesize, freq.data(), 256), 0);
    unsigned char* bits = nullptr;
    int adjust;
    DiagCapture capture;
    EXPECT_EQ(find_num_huff_sizes(&bits, &adjust, codesize, 256), -3);
    EXPECT_EQ(bits, nullptr);
    EXPECT_FALSE(capture.text().empty());
    std::free(codesize);
}

TEST(HuffmanTables, EmptyBlockHasNoCodes) {
    const int size = 0;
    const short none = 0;
    WsqHuffcode* table;
    unsigned char *bits, *values;
    ASSERT_EQ(make_block_hufftable(&table, &bits, &values, &none, &size, 1), 0);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(bits[i], 0);
    }
    for (int s = 0; s < 257; ++s) EXPECT_EQ(table[s].size, 0);
    std::free(table);
    std::free(bits);
    std::free(values);
}

TEST(HuffmanTables, CanonicalCodesAndAllOnesWarning) {
    unsigned char bits[16] = {1, 1, 2};  // 0, 10, 110, 111
    WsqHuffcode* sized;
    int last;
    ASSERT_EQ(build_huffsizes(&sized, &last, bits, 256), 0);
    ASSERT_EQ(last, 4);
    assign_huffcodes(sized);
    EXPECT_EQ(sized[0].code, 0);
    EXPECT_EQ(sized[1].code, 2);
    EXPECT_EQ(sized[2].code, 6);
    EXPECT_EQ(sized[3].code, 7);
    EXPECT_EQ(sized[4].size, 0);
    DiagCapture capture;
    EXPECT_EQ(test_all_ones_codes(sized, last), -1);
    EXPECT_EQ(capture.text(),
              "WARNING: A code in the hufftable contains an all 1's code.\n"
              "         This image may still be decodable.\n"
              "         It is not compliant with the WSQ specification.\n");
    DecodeLimits limits;
    EXPECT_EQ(make_decode_limits(limits, sized, bits), 4);
    EXPECT_EQ(limits.maxcode[1], 0);
    EXPECT_EQ(limits.mincode[3], 6);
    EXPECT_EQ(limits.valptr[3], 2);
    EXPECT_EQ(limits.maxcode[4], -1);
    std::free(sized);
}

// ---- decoding

struct StreamBuilder {
    Bytes bytes;
    void u16(int v) {
        bytes.push_back(static_cast<unsigned char>(v >> 8));
        bytes.push_back(static_cast<unsigned char>(v));
    }
    void table(int id, const unsigned char* bits, const unsigned char* values) {
        int n = 0;
        for (int i = 0; i < 16; ++i) n += bits[i];
        u16(DHT_WSQ);
        u16(19 + n);
        bytes.push_back(static_cast<unsigned char>(id));
        bytes.insert(bytes.end(), bits, bits + 16);
        bytes.insert(bytes.end(), values, values + n);
    }
    void block(int id, const Bytes& data) {
        u16(SOB_WSQ);
        u16(3);
        bytes.push_back(static_cast<unsigned char>(id));
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    // A table built from the blocks, then each of them coded with it.
    void coded(int id, const std::vector<Coefficients>& blocks) {
        Coefficients all;
        std::vector<int> sizes;
        for (const auto& b : blocks) {
            all.insert(all.end(), b.begin(), b.end());
            sizes.push_back(static_cast<int>(b.size()));
        }
        WsqHuffcode* codes;
        unsigned char *bits, *values;
        ASSERT_EQ(make_block_hufftable(&codes, &bits, &values, all.data(), sizes.data(),
                                       static_cast<int>(sizes.size())),
                  0);
        table(id, bits, values);
        std::vector<WsqHuffcode> table_copy(codes, codes + 257);
        for (const auto& b : blocks) block(id, code_with(b, table_copy));
        std::free(codes);
        std::free(bits);
        std::free(values);
    }
    void comment(const char* text) {
        const size_t n = std::strlen(text);
        u16(COM_WSQ);
        u16(static_cast<int>(n + 2));
        bytes.insert(bytes.end(), text, text + n);
    }
};

int decode(const Bytes& stream, Coefficients& out, DecoderState& state) {
    InputCursor in{stream.data(), stream.data() + stream.size()};
    return huffman_decode_data_mem(out.data(), out.size(), state, in);
}

Coefficients random_block(std::mt19937& rng, int n) {
    Coefficients c(static_cast<size_t>(n));
    std::uniform_int_distribution<int> kind(0, 99), small(-73, 74), big(-32768, 32767), run(1, 400);
    for (int i = 0; i < n;) {
        const int k = kind(rng);
        if (k < 40) {
            const int r = run(rng);
            for (int j = 0; j < r && i < n; ++j) c[static_cast<size_t>(i++)] = 0;
        } else {
            c[static_cast<size_t>(i++)] = static_cast<short>(k < 95 ? small(rng) : big(rng));
        }
    }
    return c;
}

TEST(HuffmanDecode, BlocksWithTablesAndCommentsBetweenThemRoundTrip) {
    std::mt19937 rng(1234);
    const Coefficients b1 = random_block(rng, 3000), b2 = random_block(rng, 5000),
                       b3 = random_block(rng, 2000), b4 = zeros(70000);
    StreamBuilder s;
    s.coded(0, {b1});
    s.comment("between blocks");
    s.coded(1, {b2, b3});
    s.coded(0, {b4});  // a new table 0 between blocks replaces the first
    s.u16(EOI_WSQ);
    Coefficients expected = b1;
    for (const auto* b : {&b2, &b3, &b4}) expected.insert(expected.end(), b->begin(), b->end());
    Coefficients out(expected.size() + 10, 7);
    DecoderState state;
    ASSERT_EQ(decode(s.bytes, out, state), 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
    EXPECT_EQ(out.back(), 7);  // nothing written past the stream's coefficients
}

TEST(HuffmanDecode, MoreCoefficientsThanTheFrameHoldsFail) {
    StreamBuilder s;
    s.coded(0, {Coefficients{1, 2, 0, 0, 0, 3}});
    s.u16(EOI_WSQ);
    DecoderState state;
    Coefficients exact(6, 0);
    ASSERT_EQ(decode(s.bytes, exact, state), 0);
    Coefficients small(5, 0);
    DiagCapture capture;
    EXPECT_EQ(decode(s.bytes, small, state), -54);
    EXPECT_FALSE(capture.text().empty());
    Coefficients run_small(4, 0);  // the run of 3 zeros itself overflows
    EXPECT_EQ(decode(s.bytes, run_small, state), -54);
}

TEST(HuffmanDecode, UndefinedTableAndInvalidSymbol) {
    DecoderState state;
    StreamBuilder s;
    s.block(3, {0x00});
    s.u16(EOI_WSQ);
    Coefficients out(10);
    DiagCapture capture;
    EXPECT_EQ(decode(s.bytes, out, state), -51);
    EXPECT_EQ(capture.text(), "ERROR : huffman_decode_data_mem : huffman table {3} undefined.\n");

    StreamBuilder t;
    const unsigned char bits[16] = {0, 2};
    const unsigned char values[2] = {0, 181};  // symbol 0 is not in the alphabet
    t.table(0, bits, values);
    t.block(0, {0x3f});
    t.u16(EOI_WSQ);
    capture.clear();
    EXPECT_EQ(decode(t.bytes, out, state), -52);
    EXPECT_EQ(capture.text(), "ERROR: huffman_decode_data_mem : Invalid code 0 (0).\n");
}

TEST(HuffmanDecode, BitsThatMatchNoCodeWithinSixteenBitsFail) {
    DecoderState state;
    StreamBuilder s;
    const unsigned char bits[16] = {1};
    const unsigned char values[1] = {181};
    s.table(0, bits, values);
    s.block(0, {0x80, 0x00, 0x00});
    s.u16(EOI_WSQ);
    Coefficients out(10);
    DiagCapture capture;
    EXPECT_EQ(decode(s.bytes, out, state), -53);
    EXPECT_FALSE(capture.text().empty());
}

// 8-bit codes 0..253 for the symbols 1..254.
struct ByteCodes {
    unsigned char bits[16] = {};
    std::vector<unsigned char> values;
    ByteCodes() : values(254) {
        bits[7] = 254;
        for (int i = 0; i < 254; ++i)
            values[static_cast<size_t>(i)] = static_cast<unsigned char>(i + 1);
    }
};

TEST(HuffmanDecode, SixteenBitMagnitudesBeyondACoefficientKeepTheirSign) {
    const ByteCodes t;
    StreamBuilder s;
    s.table(0, t.bits, t.values.data());
    // 103 with 0xFFFF, 104 with 0xFFFF, 103 with 0x8000, 104 with 0x8000 (0xFF bytes stuffed).
    s.block(0, {102, 0xff, 0, 0xff, 0, 103, 0xff, 0, 0xff, 0, 102, 0x80, 0, 103, 0x80, 0});
    s.u16(EOI_WSQ);
    DecoderState state;
    Coefficients out(4);
    ASSERT_EQ(decode(s.bytes, out, state), 0);
    EXPECT_EQ(out, (Coefficients{32767, -32768, 32767, -32768}));
}

TEST(HuffmanDecode, TableOfTheLargestAcceptedValueCountDecodes) {
    // 257 codes: two of 15 bits, 255 of 16 bits; every symbol stands for coefficient 1.
    unsigned char bits[16] = {};
    bits[14] = 2;
    bits[15] = 255;
    const std::vector<unsigned char> values(257, 181);
    StreamBuilder s;
    s.table(0, bits, values.data());
    s.block(0, {0x00, 0x01});  // the 15-bit code 0, then a fill bit
    s.u16(EOI_WSQ);
    DecoderState state;
    Coefficients out(4, 9);
    ASSERT_EQ(decode(s.bytes, out, state), 0);
    EXPECT_EQ(out, (Coefficients{1, 9, 9, 9}));
}

TEST(HuffmanDecode, BlockHeaderNamingAnIdWithoutASlotFails) {
    const ByteCodes t;
    StreamBuilder s;
    s.table(0, t.bits, t.values.data());
    s.block(8, {0});
    s.u16(EOI_WSQ);
    DecoderState state;
    Coefficients out(4);
    DiagCapture capture;
    EXPECT_EQ(decode(s.bytes, out, state), -51);
    EXPECT_EQ(capture.text(), "ERROR : huffman_decode_data_mem : huffman table {8} undefined.\n");
}

TEST(HuffmanDecode, MarkerInExtraBitsIsAnErrorAndInACodeEndsTheBlock) {
    DecoderState state;
    const ByteCodes codes;
    const unsigned char* bits = codes.bits;
    const std::vector<unsigned char>& values = codes.values;
    StreamBuilder s;
    s.table(0, bits, values.data());
    s.block(0, {100});  // symbol 101: eight extra bits follow, but a marker comes
    s.u16(EOI_WSQ);
    Coefficients out(10);
    DiagCapture capture;
    EXPECT_EQ(decode(s.bytes, out, state), -41);

    StreamBuilder t;
    t.table(0, bits, values.data());
    // Symbols 181 and 1, then a stuffed 0xFF that starts a longer code cut by the EOI marker.
    t.block(0, {180, 0x00, 0xff, 0x00});
    t.u16(EOI_WSQ);
    Coefficients out2(10, 9);
    ASSERT_EQ(decode(t.bytes, out2, state), 0);
    EXPECT_EQ(out2[0], 1);
    EXPECT_EQ(out2[1], 0);
    EXPECT_EQ(out2[2], 9);
}

}  // namespace
}  // namespace quorvel::wsq
