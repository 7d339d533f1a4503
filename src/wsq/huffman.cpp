// Huffman table generation and block coding: symbol mapping, counting, code lengths by
// repeated merging, limiting to 16 bits, canonical codes, and bit output with 0xFF stuffing.
#include "wsq/huffman.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/nonzero_kernel.h"

namespace quorvel::wsq {
namespace {

constexpr int kSymbolOffset = 180;              // symbol of a small coefficient = coefficient + 180
constexpr int kMaxZeroRun = 65535;              // longest run one symbol can carry
constexpr int kMaxCodeSize = 2 * MAX_HUFFBITS;  // code sizes the length counts can hold

// Coefficients whose nonzero bits are taken at once.
constexpr int kMaskChunk = 4096;

// Calls emit(symbol, extra_value, extra_bits) for each symbol of a block, in stream order:
// walking the nonzero coefficients, each preceded by the run of zeros since the last. A run
// longer than one symbol carries is closed every kMaxZeroRun zeros.
template <class Emit>
void map_block(const short* sip, int n, int max_coeff, int max_zrun, Emit emit) {
    int run = 0;
    auto close_run = [&] {
        for (; run > kMaxZeroRun; run -= kMaxZeroRun) emit(106, kMaxZeroRun, 16);
        if (run <= max_zrun) emit(run, 0, 0);
        else if (run <= 255) emit(105, run, 8);
        else emit(106, run, 16);
        run = 0;
    };
    uint64_t bits[kMaskChunk / 64];
    for (int chunk = 0; chunk < n; chunk += kMaskChunk) {
        const int count = std::min(kMaskChunk, n - chunk);
        nonzero_bits(sip + chunk, static_cast<size_t>(count), bits);
        int next = chunk;  // the first coefficient not yet mapped
        for (int w = 0; w < (count + 63) / 64; ++w) {
            for (uint64_t m = bits[w]; m != 0; m &= m - 1) {
                const int i = chunk + 64 * w + std::countr_zero(m);
                run += i - next;
                next = i + 1;
                if (run > 0) close_run();
                const int v = sip[i];
                if (v > max_coeff) {
                    if (v <= 255) emit(101, v, 8);
                    else emit(103, v, 16);
                } else if (v < -(max_coeff - 1)) {
                    if (v >= -255) emit(102, -v, 8);
                    else emit(104, -v, 16);
                } else {
                    emit(v + kSymbolOffset, 0, 0);
                }
            }
        }
        run += chunk + count - next;
    }
    if (run > 0) close_run();
}

// Writes bits most significant first; every full byte of 0xFF is followed by 0x00. Bits are
// taken out 32 at a time, and four bytes without a 0xFF among them go out in one store.
class BitWriter {
public:
    BitWriter(unsigned char* out, int alloc) : out_(out), alloc_(alloc) {}
    // The low `bits` (0..16) bits of value.
    void put(unsigned int value, int bits) {
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1u));
        pending_ += bits;
        if (pending_ >= 32) {
            pending_ -= 32;
            put_word(static_cast<uint32_t>(acc_ >> pending_));
        }
    }
    // Fills the last byte with ones and writes what is pending.
    void pad() {
        if (pending_ % 8 != 0) put((1u << (8 - pending_ % 8)) - 1u, 8 - pending_ % 8);
        while (pending_ > 0) {
            pending_ -= 8;
            flush(static_cast<unsigned char>(acc_ >> pending_));
        }
    }
    int bytes() const { return count_; }
    bool overflowed() const { return overflow_; }
    long long requested() const { return requested_; }

private:
    void put_word(uint32_t word) {
        const uint32_t inverted = ~word;  // a 0xFF byte is a zero byte here
        const bool has_ff = ((inverted - 0x01010101u) & ~inverted & 0x80808080u) != 0;
        if (!has_ff && alloc_ - count_ >= 4) {
            unsigned char* at = out_ + count_;
            at[0] = static_cast<unsigned char>(word >> 24);
            at[1] = static_cast<unsigned char>(word >> 16);
            at[2] = static_cast<unsigned char>(word >> 8);
            at[3] = static_cast<unsigned char>(word);
            count_ += 4;
            requested_ += 4;
            return;
        }
        for (int shift = 24; shift >= 0; shift -= 8)
            flush(static_cast<unsigned char>(word >> shift));
    }
    void store(unsigned char b) {
        ++requested_;
        if (count_ >= alloc_) {
            overflow_ = true;
            return;
        }
        out_[count_++] = b;
    }
    void flush(unsigned char byte) {
        store(byte);
        if (byte == 0xFF) store(0x00);
    }
    unsigned char* out_;
    int alloc_;
    int count_ = 0;
    long long requested_ = 0;
    uint64_t acc_ = 0;  // the low `pending_` bits are not written yet
    int pending_ = 0;   // fewer than 32 between puts
    bool overflow_ = false;
};

void free_all(void* a, void* b = nullptr, void* c = nullptr) {
    std::free(a);
    std::free(b);
    std::free(c);
}

}  // namespace

void add_block_counts(int* counts, const short* sip, int n) {
    map_block(sip, n, MAX_HUFFCOEFF, MAX_HUFFZRUN, [&](int symbol, int, int) { counts[symbol]++; });
}

int count_block(int** ocounts, int max_huffcounts, const short* sip, int sip_siz, int MaxCoeff,
                int MaxZRun) {
    int* counts =
        static_cast<int*>(std::calloc(static_cast<size_t>(max_huffcounts) + 1, sizeof(int)));
    if (counts == nullptr) {
        diag("ERROR : count_block : calloc : counts\n");
        return kCountNoMemory;
    }
    counts[max_huffcounts] = 1;  // the reserved slot keeps every real code off all-ones
    map_block(sip, sip_siz, MaxCoeff, MaxZRun, [&](int symbol, int, int) { counts[symbol]++; });
    *ocounts = counts;
    return 0;
}

void find_two_least(int* vleast, int* vsecond, const int* freq, int max_huffcounts) {
    int least = -1, second = -1;
    for (int i = 0; i <= max_huffcounts; ++i) {
        const int c = freq[i];
        if (c == 0) continue;
        if (least == -1) {
            least = i;
            continue;
        }
        if (second == -1) second = i;
        else if (c > freq[least] && c > freq[second]) continue;
        // A later slot wins a tie, so equal counts come out larger symbol first.
        if (c <= freq[least]) {
            second = least;
            least = i;
        } else if (c <= freq[second]) {
            second = i;
        }
    }
    *vleast = least;
    *vsecond = second;
}

int find_huff_sizes(int** ocodesize, int* freq, int max_huffcounts) {
    const size_t n = static_cast<size_t>(max_huffcounts) + 1;
    int* codesize = static_cast<int*>(std::calloc(n, sizeof(int)));
    if (codesize == nullptr) {
        diag("ERROR : find_huff_sizes : calloc : codesize\n");
        return kHuffNoMemory;
    }
    int* others = static_cast<int*>(std::malloc(n * sizeof(int)));
    if (others == nullptr) {
        diag("ERROR : find_huff_sizes : malloc : others\n");
        std::free(codesize);
        return kHuffNoMemoryOthers;
    }
    for (size_t i = 0; i < n; ++i) others[i] = -1;
    for (;;) {
        int v1, v2;
        find_two_least(&v1, &v2, freq, max_huffcounts);
        if (v2 == -1) break;
        freq[v1] += freq[v2];
        freq[v2] = 0;
        codesize[v1]++;
        while (others[v1] != -1) {
            v1 = others[v1];
            codesize[v1]++;
        }
        others[v1] = v2;
        codesize[v2]++;
        while (others[v2] != -1) {
            v2 = others[v2];
            codesize[v2]++;
        }
    }
    std::free(others);
    *ocodesize = codesize;
    return 0;
}

int find_num_huff_sizes(unsigned char** obits, int* adjust, const int* codesize,
                        int max_huffcounts) {
    *adjust = 0;
    // Merging deeper than the 32 length counts can hold only comes from extremely skewed
    // counts; refuse it rather than count outside the array.
    for (int i = 0; i < max_huffcounts; ++i) {
        if (codesize[i] > kMaxCodeSize) {
            diag("ERROR : find_num_huff_sizes : code size %d is greater than %d\n", codesize[i],
                 kMaxCodeSize);
            return kHuffCodeTooLong;
        }
    }
    unsigned char* bits = static_cast<unsigned char*>(std::calloc(kMaxCodeSize, 1));
    if (bits == nullptr) {
        diag("ERROR : find_num_huff_sizes : calloc : bits\n");
        return kHuffNoMemory;
    }
    for (int i = 0; i < max_huffcounts; ++i) {
        if (codesize[i] != 0) bits[codesize[i] - 1]++;
        if (codesize[i] > MAX_HUFFBITS) *adjust = 1;
    }
    *obits = bits;
    return 0;
}

int sort_huffbits(unsigned char* bits) {
    short* tbits = static_cast<short*>(std::malloc(kMaxCodeSize * sizeof(short)));
    if (tbits == nullptr) {
        diag("ERROR : sort_huffbits : malloc : tbits\n");
        return kHuffNoMemory;
    }
    for (int i = 0; i < kMaxCodeSize; ++i) tbits[i] = bits[i];
    for (int i = kMaxCodeSize - 1; i > MAX_HUFFBITS - 1; --i) {
        while (tbits[i] > 0) {
            int j = i - 2;
            while (j > 0 && tbits[j] == 0) --j;
            tbits[i] -= 2;
            tbits[i - 1] += 1;
            tbits[j + 1] += 2;
            tbits[j] -= 1;
        }
        tbits[i] = 0;
    }
    int i = MAX_HUFFBITS - 1;
    while (i > 0 && tbits[i] == 0) --i;
    tbits[i] -= 1;
    for (int k = 0; k < kMaxCodeSize; ++k) bits[k] = static_cast<unsigned char>(tbits[k]);
    std::free(tbits);
    for (int k = MAX_HUFFBITS; k < kMaxCodeSize; ++k) {
        if (bits[k] != 0) {
            diag("ERROR : sort_huffbits : Code length of %d is greater than 16.\n", k);
            return kHuffCodeTooLong;
        }
    }
    return 0;
}

int sort_code_sizes(unsigned char** ovalues, const int* codesize, int max_huffcounts) {
    unsigned char* values =
        static_cast<unsigned char*>(std::calloc(static_cast<size_t>(max_huffcounts) + 1, 1));
    if (values == nullptr) {
        diag("ERROR : sort_code_sizes : calloc : value\n");
        return kHuffNoMemory;
    }
    int k = 0;
    for (int size = 1; size <= kMaxCodeSize; ++size)
        for (int i = 0; i < max_huffcounts; ++i)
            if (codesize[i] == size) values[k++] = static_cast<unsigned char>(i);
    *ovalues = values;
    return 0;
}

int build_huffsizes(WsqHuffcode** ohuffcode_table, int* last_size, const unsigned char* huffbits,
                    int max_huffcounts) {
    // A table read from a stream may hold max_huffcounts + 1 codes; one more entry ends it.
    const size_t entries = static_cast<size_t>(max_huffcounts) + 2;
    WsqHuffcode* table = static_cast<WsqHuffcode*>(std::calloc(entries, sizeof(WsqHuffcode)));
    if (table == nullptr) {
        diag("ERROR : build_huffsizes : calloc : huffcode_table\n");
        return kHuffNoMemory;
    }
    size_t k = 0;
    for (int len = 1; len <= MAX_HUFFBITS; ++len)
        for (int n = 0; n < huffbits[len - 1] && k + 1 < entries; ++n)
            table[k++].size = static_cast<short>(len);
    table[k].size = 0;
    *ohuffcode_table = table;
    *last_size = static_cast<int>(k);
    return 0;
}

void assign_huffcodes(WsqHuffcode* huffcode_table) {
    if (huffcode_table[0].size == 0) return;
    unsigned int code = 0;
    int current = huffcode_table[0].size;
    for (int k = 0;; ++k) {
        huffcode_table[k].code = static_cast<unsigned short>(code);
        ++code;
        if (huffcode_table[k + 1].size == 0) break;
        while (huffcode_table[k + 1].size > current) {
            code <<= 1;
            ++current;
        }
    }
}

int test_all_ones_codes(const WsqHuffcode* huffcode_table, int last_size) {
    for (int k = 0; k < last_size; ++k) {
        const unsigned int ones = (1u << huffcode_table[k].size) - 1u;
        if (huffcode_table[k].code == ones) {
            diag("WARNING: A code in the hufftable contains an ");
            diag("all 1's code.\n         This image may still be ");
            diag("decodable.\n         It is not compliant with ");
            diag("the WSQ specification.\n");
            return kAllOnesCode;
        }
    }
    return 0;
}

int build_huffcode_table(WsqHuffcode** ohuffcode_table, const WsqHuffcode* in_huffcode_table,
                         int last_size, const unsigned char* values, int max_huffcounts) {
    WsqHuffcode* table = static_cast<WsqHuffcode*>(
        std::calloc(static_cast<size_t>(max_huffcounts) + 1, sizeof(WsqHuffcode)));
    if (table == nullptr) {
        diag("ERROR : build_huffcode_table : calloc : new_huffcode_table\n");
        return kHuffNoMemory;
    }
    for (int k = 0; k < last_size; ++k) table[values[k]] = in_huffcode_table[k];
    *ohuffcode_table = table;
    return 0;
}

namespace {

// Counts the blocks starting at sip into one table of 257 counters.
int count_blocks(int** ocounts, const short* sip, const int* block_sizes, int num_sizes) {
    int* counts;
    if (int ret = count_block(&counts, MAX_HUFFCOUNTS_WSQ, sip, block_sizes[0], MAX_HUFFCOEFF,
                              MAX_HUFFZRUN))
        return ret;
    const short* start = sip + block_sizes[0];
    for (int b = 1; b < num_sizes; start += block_sizes[b++])
        add_block_counts(counts, start, block_sizes[b]);
    *ocounts = counts;
    return 0;
}

// Code lengths, limited length counts and the value list for a count table (consumed).
int lengths_and_values(unsigned char** ohuffbits, unsigned char** ohuffvalues, int* counts) {
    int* codesize;
    if (int ret = find_huff_sizes(&codesize, counts, MAX_HUFFCOUNTS_WSQ)) return ret;
    unsigned char* huffbits;
    int adjust;
    int ret = find_num_huff_sizes(&huffbits, &adjust, codesize, MAX_HUFFCOUNTS_WSQ);
    if (ret == 0 && adjust && (ret = sort_huffbits(huffbits)) != 0) std::free(huffbits);
    unsigned char* huffvalues = nullptr;
    if (ret == 0 && (ret = sort_code_sizes(&huffvalues, codesize, MAX_HUFFCOUNTS_WSQ)) != 0)
        std::free(huffbits);
    std::free(codesize);
    if (ret != 0) return ret;
    *ohuffbits = huffbits;
    *ohuffvalues = huffvalues;
    return 0;
}

}  // namespace

int make_block_hufftable(WsqHuffcode** ohuffcode_table, unsigned char** ohuffbits,
                         unsigned char** ohuffvalues, const short* sip, const int* block_sizes,
                         int num_sizes) {
    int* counts;
    if (int ret = count_blocks(&counts, sip, block_sizes, num_sizes)) return ret;
    const int ret = make_hufftable(ohuffcode_table, ohuffbits, ohuffvalues, counts);
    std::free(counts);
    return ret;
}

int make_hufftable(WsqHuffcode** ohuffcode_table, unsigned char** ohuffbits,
                   unsigned char** ohuffvalues, int* counts) {
    unsigned char *huffbits, *huffvalues;
    int ret = lengths_and_values(&huffbits, &huffvalues, counts);
    if (ret != 0) return ret;

    WsqHuffcode* sized;
    int last_size;
    if ((ret = build_huffsizes(&sized, &last_size, huffbits, MAX_HUFFCOUNTS_WSQ)) != 0) {
        free_all(huffbits, huffvalues);
        return ret;
    }
    assign_huffcodes(sized);
    if (test_all_ones_codes(sized, last_size) != 0) {
        diag("ERROR: This huffcode warning is an error ");
        diag("for the encoder.\n");
        free_all(huffbits, huffvalues, sized);
        return kAllOnesCode;
    }
    WsqHuffcode* table;
    ret = build_huffcode_table(&table, sized, last_size, huffvalues, MAX_HUFFCOUNTS_WSQ);
    std::free(sized);
    if (ret != 0) {
        free_all(huffbits, huffvalues);
        return ret;
    }
    *ohuffcode_table = table;
    *ohuffbits = huffbits;
    *ohuffvalues = huffvalues;
    return 0;
}

namespace {

CodedBlock code_symbols(unsigned char* outbuf, int outalloc, const short* sip, int sip_siz,
                        int max_coeff, int max_zrun, const WsqHuffcode* codes) {
    BitWriter writer(outbuf, outalloc);
    CodedBlock coded;
    map_block(sip, sip_siz, max_coeff, max_zrun, [&](int symbol, int extra, int extra_bits) {
        if (codes[symbol].size == 0 && coded.uncoded < 0) coded.uncoded = symbol;
        writer.put(codes[symbol].code, codes[symbol].size);
        if (extra_bits > 0) writer.put(static_cast<unsigned int>(extra), extra_bits);
    });
    writer.pad();
    coded.overflowed = writer.overflowed();
    coded.requested = writer.requested();
    coded.bytes = writer.bytes();
    return coded;
}

}  // namespace

CodedBlock code_block(unsigned char* outbuf, int outalloc, const short* sip, int sip_siz,
                      const WsqHuffcode* codes) {
    return code_symbols(outbuf, outalloc, sip, sip_siz, MAX_HUFFCOEFF, MAX_HUFFZRUN, codes);
}

int report_block(const CodedBlock& coded, int outalloc) {
    if (coded.uncoded >= 0) {
        diag("ERROR : compress_block : no code for symbol %d\n", coded.uncoded);
        return kNoCodeForSymbol;
    }
    if (coded.overflowed) {
        diag("ERROR : compress_block : buffer overlow : alloc = %d, request = %lld\n", outalloc,
             coded.requested);
        return kBlockOverflow;
    }
    return 0;
}

int compress_block(unsigned char* outbuf, int outalloc, int* obytes, const short* sip, int sip_siz,
                   int MaxCoeff, int MaxZRun, const WsqHuffcode* codes) {
    const CodedBlock coded = code_symbols(outbuf, outalloc, sip, sip_siz, MaxCoeff, MaxZRun, codes);
    if (int ret = report_block(coded, outalloc)) return ret;
    *obytes = coded.bytes;
    return 0;
}

}  // namespace quorvel::wsq
