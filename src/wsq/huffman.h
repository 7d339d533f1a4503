// Huffman coding of quantized subbands: the symbol alphabet for zero runs and coefficients,
// canonical code generation limited to 16 bits, block coding with 0xFF stuffing, and decoding
// of a stream's entropy-coded blocks.
#pragma once

#include <cstddef>

#include "wsq/records.h"
#include "wsq/stream.h"
#include "wsq/tree.h"

namespace quorvel::wsq {

// One code: length in bits (0: no code) and the bits, right-aligned.
struct WsqHuffcode {
    short size;
    unsigned short code;
};

// ---- encoder side (every table returned is malloc'd for the caller)
// Adds the symbol counts of one block of n coefficients into counts (MAX_HUFFCOUNTS_WSQ + 1).
void add_block_counts(int* counts, const short* sip, int n);
int count_block(int** ocounts, int max_huffcounts, const short* sip, int sip_siz, int MaxCoeff,
                int MaxZRun);
// Builds one table from num_sizes (1 or 2) consecutive blocks starting at sip.
// Outputs: code table by symbol (257), length counts (32 bytes), value list (257 bytes).
int make_block_hufftable(WsqHuffcode** ohuffcode_table, unsigned char** ohuffbits,
                         unsigned char** ohuffvalues, const short* sip, const int* block_sizes,
                         int num_sizes);
// The same from counts of every block the table codes (consumed), the reserved slot included.
int make_hufftable(WsqHuffcode** ohuffcode_table, unsigned char** ohuffbits,
                   unsigned char** ohuffvalues, int* counts);
int find_huff_sizes(int** ocodesize, int* freq, int max_huffcounts);
void find_two_least(int* vleast, int* vsecond, const int* freq, int max_huffcounts);
int find_num_huff_sizes(unsigned char** obits, int* adjust, const int* codesize,
                        int max_huffcounts);
int sort_huffbits(unsigned char* bits);
int sort_code_sizes(unsigned char** ovalues, const int* codesize, int max_huffcounts);
int build_huffsizes(WsqHuffcode** ohuffcode_table, int* last_size, const unsigned char* huffbits,
                    int max_huffcounts);
void assign_huffcodes(WsqHuffcode* huffcode_table);
int test_all_ones_codes(const WsqHuffcode* huffcode_table, int last_size);
int build_huffcode_table(WsqHuffcode** ohuffcode_table, const WsqHuffcode* in_huffcode_table,
                         int last_size, const unsigned char* values, int max_huffcounts);
// Codes one block into outbuf, which holds outalloc bytes; a block that does not fit fails
// with the output-overflow code -33. *obytes receives the bytes written.
int compress_block(unsigned char* outbuf, int outalloc, int* obytes, const short* sip, int sip_siz,
                   int MaxCoeff, int MaxZRun, const WsqHuffcode* codes);

// One block coded into a buffer of outalloc bytes, before anything is reported: the bytes
// written, the bytes it would have needed, the first symbol without a code (or -1) and
// whether the buffer was too small. Safe to run for several blocks at once.
struct CodedBlock {
    int bytes = 0;
    long long requested = 0;
    int uncoded = -1;
    bool overflowed = false;
};
CodedBlock code_block(unsigned char* outbuf, int outalloc, const short* sip, int sip_siz,
                      const WsqHuffcode* codes);
// What compress_block reports for a coded block: 0, or its diagnostic and code.
int report_block(const CodedBlock& coded, int outalloc);

// ---- decoder side
struct DecodeLimits {
    int maxcode[MAX_HUFFBITS + 1];
    int mincode[MAX_HUFFBITS + 1];
    int valptr[MAX_HUFFBITS + 1];
};

int make_decode_limits(DecodeLimits& limits, const WsqHuffcode* huffcode_table,
                       const unsigned char* huffbits);
// Decodes every block up to EOI into ip, which holds ip_capacity coefficients (the frame's
// width x height); a stream with more fails. Coefficients it does not reach are left as found.
// *decoded (when given) receives how many coefficients it wrote. With `zeroed` the caller
// promises ip holds zeros, and zero runs are counted without writing them.
int huffman_decode_data_mem(short* ip, size_t ip_capacity, DecoderState& state, InputCursor& in,
                            size_t* decoded = nullptr, bool zeroed = false);
// Decodes every block up to EOI into the decoder's image (`width` wide), which holds zeros
// where the coded subbands lie: each coefficient at its place and through its subband's
// inverse quantizer, as state.dqt stands at the first block. Coefficients past the last coded
// subband are dropped, up to `capacity` (the frame's width x height) in all; a stream with
// more fails. kQuantizationAfterBlock when a quantization table follows the first block:
// every coefficient must then be decoded first and unquantized under the last table.
inline constexpr int kQuantizationAfterBlock = 1;
int huffman_decode_image(float* image, int width, size_t capacity, DecoderState& state,
                         InputCursor& in, const WsqSubband* subbands);
// With threads > 1, the same for a stream laid out as the encoder writes it (three blocks,
// Huffman tables and comments between them), each block on a lane of its own, leaving
// state's tables as the serial decode would. False when the stream is to be decoded serially;
// *spoilt then says whether the image must be zeroed again first. Prints nothing.
bool huffman_decode_laid_out(float* image, int width, size_t capacity, DecoderState& state,
                             InputCursor in, const WsqSubband* subbands, int threads, bool* spoilt);

}  // namespace quorvel::wsq
