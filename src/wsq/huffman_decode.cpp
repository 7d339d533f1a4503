// Decoding of the entropy-coded blocks of a stream, with the tables and comments that may
// stand between them.
#include <cstdlib>
#include <cstring>

#include "wsq/diag.h"
#include "wsq/huffman.h"

namespace quorvel::wsq {
namespace {

constexpr int kSymbolOffset = 180;
constexpr int kNoCodeMatches = -53;
constexpr int kTooManyCoefficients = -54;

}  // namespace

int make_decode_limits(DecodeLimits& limits, const WsqHuffcode* huffcode_table,
                       const unsigned char* huffbits) {
    std::memset(&limits, 0, sizeof limits);
    int k = 0;
    for (int len = 1; len <= MAX_HUFFBITS; ++len) {
        if (huffbits[len - 1] == 0) {
            limits.maxcode[len] = -1;
            continue;
        }
        limits.valptr[len] = k;
        limits.mincode[len] = huffcode_table[k].code;
        k += huffbits[len - 1];
        limits.maxcode[len] = huffcode_table[k - 1].code;
    }
    return k;
}

int decode_symbol_mem(int* onodeptr, const DecodeLimits& limits, const unsigned char* huffvalues,
                      InputCursor& in, int* bit_count, unsigned short* omarker,
                      DecoderState& state) {
    unsigned short bit;
    if (int ret = getc_nextbits_wsq(&bit, omarker, in, bit_count, 1, state)) return ret;
    if (*omarker != 0) {
        *onodeptr = -1;
        return 0;
    }
    int code = bit;
    int len = 1;
    while (code > limits.maxcode[len]) {
        // Codes are at most 16 bits long: bits that match nothing by then are no code.
        if (++len > MAX_HUFFBITS) {
            diag("ERROR : decode_symbol_mem : no code matches within %d bits\n", MAX_HUFFBITS);
            return kNoCodeMatches;
        }
        if (int ret = getc_nextbits_wsq(&bit, omarker, in, bit_count, 1, state)) return ret;
        if (*omarker != 0) {
            *onodeptr = -1;
            return 0;
        }
        code = code * 2 + bit;
    }
    const int index = limits.valptr[len] + code - limits.mincode[len];
    if (code < limits.mincode[len] || index < 0 || index > MAX_HUFFCOUNTS_WSQ) {
        diag("ERROR : decode_symbol_mem : no code matches within %d bits\n", MAX_HUFFBITS);
        return kNoCodeMatches;
    }
    *onodeptr = huffvalues[index];
    return 0;
}

namespace {

// Where decoded coefficients go; never past the frame's width x height.
struct CoefficientSink {
    short* ip;
    size_t capacity;
    size_t count = 0;

    int put(int value, size_t repeat = 1) {
        if (repeat > capacity - count) {
            diag("ERROR : huffman_decode_data_mem : ");
            diag("more coefficients than the frame holds (%zu)\n", capacity);
            return kTooManyCoefficients;
        }
        // A 16-bit magnitude can exceed what a signed 16-bit coefficient holds: keep the sign.
        if (value > 32767) value = 32767;
        if (value < -32768) value = -32768;
        for (size_t i = 0; i < repeat; ++i) ip[count++] = static_cast<short>(value);
        return 0;
    }
};

// Reads the tables and comments before a block and its header, and builds its decode limits.
int start_block(DecodeLimits& limits, unsigned char* otable, unsigned short* marker,
                DecoderState& state, InputCursor& in) {
    while (*marker != SOB_WSQ) {
        if (int ret = getc_table_wsq(*marker, state, in)) return ret;
        if (int ret = getc_marker_wsq(marker, MarkerClass::TablesOrSob, in)) return ret;
    }
    unsigned char id;
    if (int ret = getc_block_hdr(&id, in)) return ret;
    if (id >= MAX_DHT_TABLES || state.dht[id].defined != 1) {
        diag("ERROR : huffman_decode_data_mem : ");
        diag("huffman table {%d} undefined.\n", id);
        return -51;
    }
    WsqHuffcode* sized;
    int last_size;
    if (int ret = build_huffsizes(&sized, &last_size, state.dht[id].huffbits, MAX_HUFFCOUNTS_WSQ))
        return ret;
    assign_huffcodes(sized);
    if (test_all_ones_codes(sized, last_size) != 0) diag("         hufftable_id = %d\n", id);
    make_decode_limits(limits, sized, state.dht[id].huffbits);
    std::free(sized);
    *otable = id;
    return 0;
}

// Reads the extra bits of symbols 101..106 and writes what the symbol stands for.
int put_symbol(int symbol, CoefficientSink& sink, InputCursor& in, int* bit_count,
               unsigned short* marker, DecoderState& state) {
    if (symbol >= 1 && symbol <= MAX_HUFFZRUN) return sink.put(0, static_cast<size_t>(symbol));
    if (symbol > 106 && symbol < 0xFF) return sink.put(symbol - kSymbolOffset);
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

}  // namespace

int huffman_decode_data_mem(short* ip, size_t ip_capacity, DecoderState& state, InputCursor& in) {
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in)) return ret;
    CoefficientSink sink{ip, ip_capacity};
    DecodeLimits limits;
    unsigned char table = 0;
    int bit_count = 0;
    for (;;) {
        if (marker == EOI_WSQ) return 0;
        if (marker != 0) {
            if (int ret = start_block(limits, &table, &marker, state, in)) return ret;
            bit_count = 0;
            marker = 0;
        }
        int symbol;
        if (int ret = decode_symbol_mem(&symbol, limits, state.dht[table].huffvalues, in,
                                        &bit_count, &marker, state))
            return ret;
        if (symbol == -1) continue;
        if (int ret = put_symbol(symbol, sink, in, &bit_count, &marker, state)) return ret;
    }
}

}  // namespace quorvel::wsq
