// The table-driven entropy decoder against the bit-at-a-time decoder it replaced (kept here,
// built on getc_nextbits_wsq): on our streams and on thousands of damaged ones, both must give
// the same code, the same messages and the same coefficients.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/diag.h"
#include "wsq/huffman.h"
#include "wsq/stream.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {
namespace {

// ---- the reference: one getc_nextbits_wsq call per bit
int reference_symbol(int* symbol, const DecodeLimits& limits, const unsigned char* values,
                     InputCursor& in, int* bit_count, unsigned short* marker, DecoderState& state) {
    unsigned short bit;
    int code = 0;
    for (int len = 1;; ++len) {
        if (len > MAX_HUFFBITS) {
            diag("ERROR : decode_symbol_mem : no code matches within %d bits\n", MAX_HUFFBITS);
            return -53;
        }
        if (int ret = getc_nextbits_wsq(&bit, marker, in, bit_count, 1, state)) return ret;
        if (*marker != 0) {
            *symbol = -1;
            return 0;
        }
        code = code * 2 + bit;
        if (code > limits.maxcode[len]) continue;
        const int index = limits.valptr[len] + code - limits.mincode[len];
        if (code < limits.mincode[len] || index < 0 || index > MAX_HUFFCOUNTS_WSQ) {
            diag("ERROR : decode_symbol_mem : no code matches within %d bits\n", MAX_HUFFBITS);
            return -53;
        }
        *symbol = values[index];
        return 0;
    }
}

int reference_block_start(DecodeLimits& limits, unsigned char* id, unsigned short* marker,
                          DecoderState& state, InputCursor& in) {
    while (*marker != SOB_WSQ) {
        if (int ret = getc_table_wsq(*marker, state, in)) return ret;
        if (int ret = getc_marker_wsq(marker, MarkerClass::TablesOrSob, in)) return ret;
    }
    if (int ret = getc_block_hdr(id, in)) return ret;
    if (*id >= MAX_DHT_TABLES || state.dht[*id].defined != 1) {
        diag("ERROR : huffman_decode_data_mem : ");
        diag("huffman table {%d} undefined.\n", *id);
        return -51;
    }
    WsqHuffcode* sized;
    int last_size;
    if (int ret = build_huffsizes(&sized, &last_size, state.dht[*id].huffbits, MAX_HUFFCOUNTS_WSQ))
        return ret;
    assign_huffcodes(sized);
    if (test_all_ones_codes(sized, last_size) != 0) diag("         hufftable_id = %d\n", *id);
    make_decode_limits(limits, sized, state.dht[*id].huffbits);
    std::free(sized);
    return 0;
}

struct Sink {
    std::vector<short>& out;
    size_t count = 0;
    int put(int value, size_t repeat = 1) {
        if (repeat > out.size() - count) {
            diag("ERROR : huffman_decode_data_mem : ");
            diag("more coefficients than the frame holds (%zu)\n", out.size());
            return -54;
        }
        if (value > 32767) value = 32767;
        if (value < -32768) value = -32768;
        for (size_t i = 0; i < repeat; ++i) out[count++] = static_cast<short>(value);
        return 0;
    }
};

int reference_extra(int symbol, Sink& sink, InputCursor& in, int* bit_count, unsigned short* marker,
                    DecoderState& state) {
    if (symbol >= 1 && symbol <= MAX_HUFFZRUN) return sink.put(0, static_cast<size_t>(symbol));
    if (symbol > 106 && symbol < 0xFF) return sink.put(symbol - 180);
    if (symbol < 101 || symbol > 106) {
        diag("ERROR: huffman_decode_data_mem : Invalid code %d (%x).\n", symbol, symbol);
        return -52;
    }
    const int bits = (symbol == 101 || symbol == 102 || symbol == 105) ? 8 : 16;
    unsigned short value;
    if (int ret = getc_nextbits_wsq(&value, marker, in, bit_count, bits, state)) return ret;
    if (symbol == 105 || symbol == 106) return sink.put(0, value);
    if (symbol == 101 || symbol == 103) return sink.put(value);
    return sink.put(-static_cast<int>(value));
}

int reference_decode(std::vector<short>& out, DecoderState& state, InputCursor& in) {
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in)) return ret;
    Sink sink{out};
    DecodeLimits limits;
    unsigned char id = 0;
    int bit_count = 0;
    for (;;) {
        if (marker == EOI_WSQ) return 0;
        if (marker != 0) {
            if (int ret = reference_block_start(limits, &id, &marker, state, in)) return ret;
            bit_count = 0;
            marker = 0;
        }
        int symbol;
        if (int ret = reference_symbol(&symbol, limits, state.dht[id].huffvalues, in, &bit_count,
                                       &marker, state))
            return ret;
        if (symbol == -1) continue;
        if (int ret = reference_extra(symbol, sink, in, &bit_count, &marker, state)) return ret;
    }
}

// ---- the comparison
struct Outcome {
    int code = 0;
    std::string messages;
    std::vector<short> coefficients;
    bool operator==(const Outcome&) const = default;
};

// Reads the header up to the frame, then decodes the blocks with one of the two decoders.
template <class Decode>
Outcome decode_with(const std::vector<unsigned char>& stream, Decode decode) {
    DiagCapture capture;
    DecoderState state;
    InputCursor in{stream.data(), stream.data() + stream.size()};
    Outcome o;
    unsigned short marker = 0;
    o.code = getc_marker_wsq(&marker, MarkerClass::Soi, in);
    if (o.code == 0) o.code = getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in);
    while (o.code == 0 && marker != SOF_WSQ) {
        o.code = getc_table_wsq(marker, state, in);
        if (o.code == 0) o.code = getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in);
    }
    if (o.code == 0) o.code = getc_frame_header(state.frame, in);
    if (o.code == 0) {
        o.coefficients.assign(static_cast<size_t>(state.frame.width) * state.frame.height, 7);
        o.code = decode(o.coefficients, state, in);
    }
    o.messages = capture.text();
    return o;
}

// Returns the code both gave.
int expect_same(const std::vector<unsigned char>& stream, const std::string& what) {
    const Outcome want = decode_with(stream, reference_decode);
    const Outcome got =
        decode_with(stream, [](std::vector<short>& out, DecoderState& s, InputCursor& in) {
            return huffman_decode_data_mem(out.data(), out.size(), s, in);
        });
    EXPECT_EQ(got.code, want.code) << what << "\n" << want.messages;
    EXPECT_EQ(got.messages, want.messages) << what;
    EXPECT_TRUE(got.coefficients == want.coefficients) << what;
    return want.code;
}

std::vector<unsigned char> encoded(int w, int h, float rate) {
    DiagCapture quiet;
    const std::vector<uint8_t> px = quorvel::testing::ridge_pattern(w, h, 3);
    unsigned char* data = nullptr;
    int len = 0;
    EXPECT_EQ(wsq_encode_1(&data, &len, rate, px.data(), w, h, 8, 500, nullptr), 0);
    std::vector<unsigned char> out(data, data + len);
    std::free(data);
    return out;
}

TEST(HuffmanReference, OurStreamsDecodeAsBefore) {
    for (float rate : {0.3f, 0.75f, 2.25f, 4.0f}) expect_same(encoded(300, 280, rate), "clean");
}

TEST(HuffmanReference, DamagedStreamsFailOrDecodeAsBefore) {
    const std::vector<unsigned char> clean = encoded(160, 150, 2.25f);
    std::mt19937 rng(99);
    // Damage only after the tables, so that most cases reach the entropy-coded data.
    const size_t data_from = clean.size() / 4;
    std::map<int, int> codes;
    const unsigned char awkward[] = {0xFF, 0x00, 0xA3, 0xA1, 0xA6, 0xA8, 0x7F};
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<unsigned char> s = clean;
        const int edits = 1 + trial % 4;
        for (int e = 0; e < edits; ++e) {
            if (s.size() <= data_from) break;
            const size_t at = data_from + rng() % (s.size() - data_from);
            switch (rng() % 4) {
                case 0:
                    s[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
                    break;
                case 1:
                    s[at] = awkward[rng() % 7];
                    break;
                case 2:
                    s.insert(s.begin() + static_cast<long>(at), 0xFF);
                    break;
                default:
                    s.resize(at);
                    break;
            }
        }
        ++codes[expect_same(s, "trial " + std::to_string(trial))];
        if (::testing::Test::HasFailure()) return;
    }
    // The damage reached the entropy decoder: clean ends, markers where data should be,
    // cut streams and codes that match nothing.
    for (int code : {0, -41, -39, -53}) EXPECT_GT(codes[code], 0) << code;
}

}  // namespace
}  // namespace quorvel::wsq
