// Decoding of the entropy-coded blocks of a stream, with the tables and comments that may
// stand between them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "wsq/bit_reader.h"
#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/huffman.h"
#include "wsq/image_sink.h"
#include "wsq/lanes.h"
#include "wsq/quantize.h"

namespace quorvel::wsq {
namespace {

constexpr int kSymbolOffset = 180;

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

namespace {

// Codes of up to kLookupBits bits are found with one look-up of that many bits.
constexpr int kLookupBits = 10;
constexpr uint16_t kLonger = 0;      // entry: the code is longer than kLookupBits
constexpr uint16_t kNoCode = 0x100;  // entry flag: the limits reject the code (with its length)

// Up to kFastSymbols common symbols are taken at once from kFastBits bits (see fast_entry).
constexpr int kFastBits = 11;
constexpr int kFastSymbols = 3;
static_assert(kLookupBits <= kFastBits, "the look-up entries come from the fast prefixes");

// The limits and values of one table, and the look-up entries: (length << 9) | symbol, or
// (length << 9) | kNoCode, or kLonger; and the fast entries of fast_entry.
struct DecodeTable {
    DecodeLimits limits;
    const unsigned char* values;
    uint16_t entry[1 << kLookupBits];
    uint64_t fast[1 << kFastBits];
};

// Coefficients and short zero runs: the symbols without extra bits that decode_common writes.
bool is_common(int symbol) {
    return (symbol >= 1 && symbol <= MAX_HUFFZRUN) || (symbol > 106 && symbol < 0xFF);
}
// The image sink keeps the float of every value a common symbol stands for at hand.
static_assert(0xFE - kSymbolOffset <= SubbandValues::kSmall &&
              kSymbolOffset - 107 <= SubbandValues::kSmall);
// How many coefficients a common symbol stands for.
size_t coefficients_of(int symbol) {
    return symbol <= MAX_HUFFZRUN ? static_cast<size_t>(symbol) : 1;
}

int no_code() {
    diag("ERROR : decode_symbol_mem : no code matches within %d bits\n", MAX_HUFFBITS);
    return kNoCodeMatches;
}

// The symbol of the `len`-bit code `code` that the limits accept, or -1 for none.
int symbol_of(const DecodeTable& t, int len, int code) {
    const int index = t.limits.valptr[len] + code - t.limits.mincode[len];
    if (code < t.limits.mincode[len] || index < 0 || index > MAX_HUFFCOUNTS_WSQ) return -1;
    return t.values[index];
}

// What decoding each kFastBits-bit prefix finds: the first length whose codes reach as high
// as the prefix's first bits decides, as in the bit-by-bit search; kLonger when no length up to
// kFastBits does. The prefixes a length reaches are those below (maxcode + 1) << (kFastBits -
// len), so each length decides a run of prefixes after the last length's.
void prefix_entries(const DecodeTable& t, uint16_t (&entries)[1 << kFastBits]) {
    unsigned decided = 0;
    for (int len = 1; len <= kFastBits; ++len) {
        const int shift = kFastBits - len;
        const long long codes = std::min<long long>(t.limits.maxcode[len] + 1LL, 1LL << len);
        for (const auto reach = static_cast<unsigned>(codes << shift); decided < reach; ++decided) {
            const int symbol = symbol_of(t, len, static_cast<int>(decided >> shift));
            entries[decided] = static_cast<uint16_t>((len << 9) | (symbol < 0 ? kNoCode : symbol));
        }
    }
    std::fill(entries + decided, std::end(entries), kLonger);
}

// The entry of the first `bits` bits of prefix (their value is below 1 << bits): the entry of
// those bits followed by zeros, unless its code is longer than `bits`.
uint16_t lookup_entry(const uint16_t (&entries)[1 << kFastBits], unsigned prefix, int bits) {
    const uint16_t e = entries[prefix << (kFastBits - bits)];
    return (e >> 9) > bits ? kLonger : e;
}

// What a common symbol writes into zeroed coefficients: its value at the position (0 for a
// zero run) and how far the position moves on.
int value_of(int symbol) { return symbol > MAX_HUFFZRUN ? symbol - kSymbolOffset : 0; }

// The common symbols, up to three, whose codes lie within the kFastBits-bit prefix: bits
// used, then for each symbol its advance (bits 8 + 16 i) and its value as a signed byte
// (bits 16 + 16 i), common values being -73..74; absent symbols advance 0 and write 0.
// 0 when the prefix does not start with a common symbol.
uint64_t fast_entry(const uint16_t (&entries)[1 << kFastBits], unsigned prefix) {
    uint64_t e = 0;
    int used = 0;
    for (int i = 0; i < kFastSymbols && used < kFastBits; ++i) {
        const int rest = kFastBits - used;
        const uint16_t code = lookup_entry(entries, prefix & ((1u << rest) - 1u), rest);
        const int symbol = code & 0x1FF;
        if (code == kLonger || !is_common(symbol)) break;
        used += code >> 9;
        const uint64_t value = static_cast<uint8_t>(value_of(symbol));
        e |= (coefficients_of(symbol) | value << 8) << (8 + 16 * i);
    }
    return used == 0 ? 0 : e | static_cast<uint64_t>(used);
}

void build_lookup(DecodeTable& t) {
    uint16_t entries[1 << kFastBits];
    prefix_entries(t, entries);
    for (unsigned prefix = 0; prefix < (1u << kLookupBits); ++prefix)
        t.entry[prefix] = lookup_entry(entries, prefix, kLookupBits);
    for (unsigned prefix = 0; prefix < (1u << kFastBits); ++prefix)
        t.fast[prefix] = fast_entry(entries, prefix);
}

// A bit at a time, for the last bits before a marker or the end of the data: a marker met on
// a byte boundary ends the block (*symbol = -1), whatever code bits came before it.
int decode_bitwise(int* symbol, const DecodeTable& t, BitReader& reader, unsigned short* marker) {
    unsigned bit;
    int code = 0;
    for (int len = 1;; ++len) {
        // Codes are at most 16 bits long: bits that match nothing by then are no code.
        if (len > MAX_HUFFBITS) return no_code();
        if (int ret = reader.read(&bit, 1, marker)) return ret;
        if (*marker != 0) {
            *symbol = -1;
            return 0;
        }
        code = code * 2 + static_cast<int>(bit);
        if (code > t.limits.maxcode[len]) continue;
        if ((*symbol = symbol_of(t, len, code)) < 0) return no_code();
        return 0;
    }
}

// Where 16 data bits are at hand: one look-up, then the limits for longer codes.
int decode_symbol(int* symbol, const DecodeTable& t, BitReader& reader, unsigned short* marker) {
    if (reader.buffered() < MAX_HUFFBITS) return decode_bitwise(symbol, t, reader, marker);
    const unsigned bits = reader.peek16();
    const uint16_t e = t.entry[bits >> (MAX_HUFFBITS - kLookupBits)];
    if (e != kLonger) {
        if (e & kNoCode) return no_code();
        reader.skip(e >> 9);
        *symbol = e & 0xFF;
        return 0;
    }
    for (int len = kLookupBits + 1; len <= MAX_HUFFBITS; ++len) {
        const int code = static_cast<int>(bits >> (MAX_HUFFBITS - len));
        if (code > t.limits.maxcode[len]) continue;
        if ((*symbol = symbol_of(t, len, code)) < 0) return no_code();
        reader.skip(len);
        return 0;
    }
    return no_code();
}

// Where decoded coefficients go; never past the frame's width x height.
struct CoefficientSink {
    short* ip;
    size_t capacity;
    bool zeroed;  // ip holds zeros: zero runs need not be written
    size_t filled = 0;

    size_t count() const { return filled; }

    int put(int value, size_t repeat = 1) {
        if (repeat > capacity - filled) {
            diag("ERROR : huffman_decode_data_mem : ");
            diag("more coefficients than the frame holds (%zu)\n", capacity);
            return kTooManyCoefficients;
        }
        // A 16-bit magnitude can exceed what a signed 16-bit coefficient holds: keep the sign.
        if (value > 32767) value = 32767;
        if (value < -32768) value = -32768;
        if (value != 0 || !zeroed) std::fill_n(ip + filled, repeat, static_cast<short>(value));
        filled += repeat;
        return 0;
    }
};

// Reads the tables and comments before a block and its header; *id is the block's table.
// *quantization (when given) is set when a quantization table was among them.
int read_block_header(unsigned char* id, unsigned short* marker, DecoderState& state,
                      InputCursor& in, bool* quantization = nullptr) {
    while (*marker != SOB_WSQ) {
        if (quantization != nullptr && *marker == DQT_WSQ) *quantization = true;
        if (int ret = getc_table_wsq(*marker, state, in)) return ret;
        if (int ret = getc_marker_wsq(marker, MarkerClass::TablesOrSob, in)) return ret;
    }
    if (int ret = getc_block_hdr(id, in)) return ret;
    if (*id >= MAX_DHT_TABLES || state.dht[*id].defined != 1) {
        diag("ERROR : huffman_decode_data_mem : ");
        diag("huffman table {%d} undefined.\n", *id);
        return kUndefinedHuffmanTable;
    }
    return 0;
}

// The decode table of Huffman table `id`; its values stay in dht, which must outlive it.
int build_table(DecodeTable& table, const WsqHuffmanTable& dht, int id) {
    WsqHuffcode* sized;
    int last_size;
    if (int ret = build_huffsizes(&sized, &last_size, dht.huffbits, MAX_HUFFCOUNTS_WSQ)) return ret;
    assign_huffcodes(sized);
    if (test_all_ones_codes(sized, last_size) != 0) diag("         hufftable_id = %d\n", id);
    make_decode_limits(table.limits, sized, dht.huffbits);
    std::free(sized);
    table.values = dht.huffvalues;
    build_lookup(table);
    return 0;
}

// Reads the extra bits of symbols 101..106 and writes what the symbol stands for.
template <class Sink>
int put_symbol(int symbol, Sink& sink, BitReader& reader, unsigned short* marker) {
    if (symbol >= 1 && symbol <= MAX_HUFFZRUN) return sink.put(0, static_cast<size_t>(symbol));
    if (symbol > 106 && symbol < 0xFF) return sink.put(symbol - kSymbolOffset);
    if (symbol < 101 || symbol > 106) {
        diag("ERROR: huffman_decode_data_mem : Invalid code %d (%x).\n", symbol, symbol);
        return kInvalidSymbol;
    }
    const int bits = (symbol == 101 || symbol == 102 || symbol == 105) ? 8 : 16;
    unsigned value;
    if (int ret = reader.read(&value, bits, marker)) return ret;
    if (symbol == 105 || symbol == 106) return sink.put(0, value);
    if (symbol == 101 || symbol == 103) return sink.put(static_cast<int>(value));
    return sink.put(-static_cast<int>(value));
}

// The common symbols in a row, up to three at a time where the fast entry holds them, while the
// frame has room; stops, reading nothing, before anything else. Into zeroed coefficients
// each symbol writes its value at the position (a zero run writes a zero, which is there
// already) with no branch on its kind; the room test keeps that write inside the frame.
void decode_common(const DecodeTable& t, BitReader& reader, CoefficientSink& sink) {
    short* const ip = sink.ip;
    const size_t capacity = sink.capacity;
    size_t count = sink.filled;
    if (sink.zeroed) {
        reader.run([&](unsigned bits) -> int {
            const uint64_t e = t.fast[bits >> (MAX_HUFFBITS - kFastBits)];
            const size_t a1 = (e >> 8) & 0xFF, a2 = (e >> 24) & 0xFF, a3 = (e >> 40) & 0xFF;
            if (e == 0 || a1 + a2 + a3 >= capacity - count) return 0;
            ip[count] = static_cast<int8_t>(e >> 16);
            count += a1;
            ip[count] = static_cast<int8_t>(e >> 32);
            count += a2;
            ip[count] = static_cast<int8_t>(e >> 48);
            count += a3;
            return static_cast<int>(e & 0x1F);
        });
    } else {
        reader.run([&](unsigned bits) -> int {
            const uint16_t e = t.entry[bits >> (MAX_HUFFBITS - kLookupBits)];
            const int symbol = e & 0x1FF;  // kNoCode included
            if (!is_common(symbol) || coefficients_of(symbol) > capacity - count) return 0;
            std::fill_n(ip + count, coefficients_of(symbol), static_cast<short>(value_of(symbol)));
            count += coefficients_of(symbol);
            return e >> 9;
        });
    }
    sink.filled = count;
}

// The same into the image sink, within the rest of the current row, each value through the
// subband's values of small indices, which hold every common one.
void decode_common(const DecodeTable& t, BitReader& reader, ImageSink& sink) {
    const ImageSink::Row row = sink.row();
    if (row.left == 0) return;
    float* at = row.at;
    size_t left = row.left;
    reader.run([&](unsigned bits) -> int {
        const uint64_t e = t.fast[bits >> (MAX_HUFFBITS - kFastBits)];
        const size_t a1 = (e >> 8) & 0xFF, a2 = (e >> 24) & 0xFF, a3 = (e >> 40) & 0xFF;
        if (e == 0 || a1 + a2 + a3 >= left) return 0;
        at[0] = row.values[static_cast<int8_t>(e >> 16)];
        at[a1] = row.values[static_cast<int8_t>(e >> 32)];
        at[a1 + a2] = row.values[static_cast<int8_t>(e >> 48)];
        at += a1 + a2 + a3;
        left -= a1 + a2 + a3;
        return static_cast<int>(e & 0x1F);
    });
    sink.moved(static_cast<size_t>(at - row.at));
}

// One block's symbols, from just after its header up to the marker that ends it (*marker).
template <class Sink>
int decode_block(const DecodeTable& t, BitReader& reader, Sink& sink, unsigned short* marker) {
    for (;;) {
        decode_common(t, reader, sink);
        int symbol;
        if (int ret = decode_symbol(&symbol, t, reader, marker)) return ret;
        if (symbol == -1) return 0;
        if (int ret = put_symbol(symbol, sink, reader, marker)) return ret;
    }
}

// Every block up to EOI into the sink that sink_at_first_block gives once the first block's
// tables are read. With `quantization_fixed`, a quantization table after that ends the decode
// with kQuantizationAfterBlock.
template <class MakeSink>
int decode_blocks(DecoderState& state, InputCursor& in, bool quantization_fixed,
                  const MakeSink& sink_at_first_block, size_t* decoded) {
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in)) return ret;
    std::optional<decltype(sink_at_first_block())> sink;
    auto table = std::make_unique<DecodeTable>();
    unsigned char table_id = 0;
    BitReader reader(in);
    while (marker != EOI_WSQ) {
        bool quantization = false;
        if (int ret = read_block_header(&table_id, &marker, state, in, &quantization)) return ret;
        if (sink && quantization && quantization_fixed) return kQuantizationAfterBlock;
        if (!sink) sink.emplace(sink_at_first_block());
        if (int ret = build_table(*table, state.dht[table_id], table_id)) return ret;
        marker = 0;
        if (int ret = decode_block(*table, reader, *sink, &marker)) return ret;
    }
    if (decoded != nullptr) *decoded = sink ? sink->count() : 0;
    return 0;
}

}  // namespace

int huffman_decode_data_mem(short* ip, size_t ip_capacity, DecoderState& state, InputCursor& in,
                            size_t* decoded, bool zeroed) {
    const auto sink = [&] { return CoefficientSink{ip, ip_capacity, zeroed}; };
    return decode_blocks(state, in, false, sink, decoded);
}

int huffman_decode_image(float* image, int width, size_t capacity, DecoderState& state,
                         InputCursor& in, const WsqSubband* subbands) {
    // Made at the first block, when state.dqt holds the table of every coefficient.
    const auto sink = [&] {
        return ImageSink(image, width, subbands, state.dqt, 0, kCodedSubbands, capacity);
    };
    return decode_blocks(state, in, true, sink, nullptr);
}

namespace {

// The blocks of a stream as its encoder lays them out (kBlockFirstSubband), each block's
// coefficients following the last.
constexpr int kLaidOutBlocks = kCodedBlocks;

// A block found by walking the segments: its Huffman table as it stood then, the table's id
// and where its coded data starts.
struct PlannedBlock {
    WsqHuffmanTable dht;
    unsigned char id = 0;
    const unsigned char* data = nullptr;
};

// Moves past a block's coded data to the marker that ends it, the first 0xFF not followed by
// a stuffed zero, as the bit reader meets it; false when the data runs to the end instead.
bool skip_coded_data(InputCursor& in, unsigned short* marker) {
    for (const unsigned char* p = in.pos; p < in.end; ++p) {
        p = static_cast<const unsigned char*>(std::memchr(p, 0xFF, in.end - p));
        if (p == nullptr || p + 1 >= in.end) return false;
        if (p[1] != 0x00) {
            *marker = static_cast<unsigned short>(0xFF00 | p[1]);
            in.pos = p + 2;
            return true;
        }
    }
    return false;
}

// Reads the Huffman tables and comments before a block and its header into scratch state;
// false at any other segment, whose reading would change more than the tables.
bool plan_block(PlannedBlock& block, unsigned short marker, DecoderState& scratch,
                InputCursor& in) {
    while (marker != SOB_WSQ) {
        if (marker != DHT_WSQ && marker != COM_WSQ) return false;
        if (getc_table_wsq(marker, scratch, in) != 0) return false;
        if (getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in) != 0) return false;
    }
    if (read_block_header(&block.id, &marker, scratch, in) != 0) return false;
    block.dht = scratch.dht[block.id];
    block.data = in.pos;
    return true;
}

// Walks the segments from the first block to EOI on a copy of the Huffman tables, without
// decoding: each block's table and the start of its data. False for a stream whose blocks
// are not three, that has a segment other than a Huffman table or a comment among them, or
// that fails or warns anywhere: the serial decode then reads it.
bool plan_blocks(PlannedBlock (&blocks)[kLaidOutBlocks], WsqHuffmanTable (&tables)[MAX_DHT_TABLES],
                 const DecoderState& state, InputCursor in) {
    DiagCapture quiet;
    DecoderState scratch;
    std::copy(std::begin(state.dht), std::end(state.dht), std::begin(scratch.dht));
    unsigned short marker;
    if (getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in) != 0) return false;
    for (PlannedBlock& block : blocks) {
        if (marker == EOI_WSQ || !plan_block(block, marker, scratch, in)) return false;
        if (!skip_coded_data(in, &marker)) return false;
    }
    if (marker != EOI_WSQ || !quiet.text().empty()) return false;
    std::copy(std::begin(scratch.dht), std::end(scratch.dht), std::begin(tables));
    return true;
}

// Where each laid-out block's coefficients start, and where the last ends: the coded
// subbands before each block's first.
void laid_out_starts(size_t (&starts)[kLaidOutBlocks + 1], const WsqQuantTable& dqt,
                     const WsqSubband* subbands) {
    size_t n = 0;
    for (int k = 0, b = 0; k < kCodedSubbands; ++k) {
        if (b < kLaidOutBlocks && k == kBlockFirstSubband[b]) starts[b++] = n;
        if (is_coded(dqt, k)) n += static_cast<size_t>(subbands[k].lx) * subbands[k].ly;
    }
    starts[kLaidOutBlocks] = n;
}

// Decodes the three blocks at once, each into its subbands of the image. True when every block
// decoded and filled exactly its share, which is what the serial decode would have found.
bool decode_laid_out(float* image, int width, const WsqSubband* subbands, const WsqQuantTable& dqt,
                     const PlannedBlock (&blocks)[kLaidOutBlocks],
                     const size_t (&starts)[kLaidOutBlocks + 1], const unsigned char* end,
                     int threads) {
    bool whole[kLaidOutBlocks] = {};
    run_parts(kLaidOutBlocks, threads - 1, [&](int b) {
        DiagCapture quiet;  // a failure or a warning is decoded again, serially, and shown then
        const PlannedBlock& block = blocks[b];
        auto table = std::make_unique<DecodeTable>();
        if (build_table(*table, block.dht, block.id) != 0 || !quiet.text().empty()) return;
        InputCursor in{block.data, end};
        BitReader reader(in);
        const size_t share = starts[b + 1] - starts[b];
        ImageSink sink(image, width, subbands, dqt, kBlockFirstSubband[b],
                       kBlockFirstSubband[b + 1], share);
        unsigned short marker = 0;
        whole[b] = decode_block(*table, reader, sink, &marker) == 0 && sink.count() == share;
    });
    return std::all_of(std::begin(whole), std::end(whole), [](bool w) { return w; });
}

}  // namespace

bool huffman_decode_laid_out(float* image, int width, size_t capacity, DecoderState& state,
                             InputCursor in, const WsqSubband* subbands, int threads,
                             bool* spoilt) {
    *spoilt = false;
    if (threads <= 1) return false;
    size_t starts[kLaidOutBlocks + 1];
    laid_out_starts(starts, state.dqt, subbands);
    PlannedBlock blocks[kLaidOutBlocks];
    WsqHuffmanTable tables[MAX_DHT_TABLES];
    if (starts[kLaidOutBlocks] > capacity || !plan_blocks(blocks, tables, state, in)) return false;
    if (!decode_laid_out(image, width, subbands, state.dqt, blocks, starts, in.end, threads)) {
        *spoilt = true;
        return false;
    }
    std::copy(std::begin(tables), std::end(tables), std::begin(state.dht));
    return true;
}

}  // namespace quorvel::wsq
