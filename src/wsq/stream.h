// The WSQ byte stream: markers, byte and bit primitives over an in-memory input cursor and a
// fixed-capacity output buffer, scaled decimals, and the reader and writer of every segment.
// Every operation returns 0 or a negative code, after one line through diag().
#pragma once

#include <cstdint>

#include "wsq/records.h"

namespace quorvel::wsq {

struct WsqQuantization;  // the encoder's quantization record (quantize.h)
struct FetList;          // NIST_COM attribute list (nistcom.h)

inline constexpr unsigned short SOI_WSQ = 0xFFA0;
inline constexpr unsigned short EOI_WSQ = 0xFFA1;
inline constexpr unsigned short SOF_WSQ = 0xFFA2;
inline constexpr unsigned short SOB_WSQ = 0xFFA3;
inline constexpr unsigned short DTT_WSQ = 0xFFA4;
inline constexpr unsigned short DQT_WSQ = 0xFFA5;
inline constexpr unsigned short DHT_WSQ = 0xFFA6;
inline constexpr unsigned short DRT_WSQ = 0xFFA7;
inline constexpr unsigned short COM_WSQ = 0xFFA8;

// The longest comment text a COM segment can carry: its 16-bit length counts itself too.
inline constexpr int MAX_COMMENT_LENGTH = 65533;

// Which markers getc_marker_wsq accepts. Any other value is refused (-92).
enum class MarkerClass : unsigned {
    Soi = 0xFFA0,
    TablesOrSof = 2,
    TablesOrSob = 3,
    Any = 0xFFFF,
};

// Next unread byte and one past the last byte.
struct InputCursor {
    const unsigned char* pos;
    const unsigned char* end;
};

// A buffer of fixed capacity `alloc`; `length` bytes are written. Writers never grow it.
struct OutputBuffer {
    unsigned char* data;
    int alloc;
    int length;
};

// ---- byte primitives (a failed get leaves the cursor, a failed put the buffer, unchanged)
int getc_byte(unsigned char* ochar, InputCursor& in);
int getc_bytes(unsigned char* ochars, int n, InputCursor& in);
int getc_u16(unsigned short* oshrt, InputCursor& in);
int getc_u32(unsigned int* oint, InputCursor& in);
int putc_byte(unsigned char value, OutputBuffer& out);
int putc_bytes(const unsigned char* values, int n, OutputBuffer& out);
int putc_u16(unsigned short value, OutputBuffer& out);
int putc_u32(unsigned int value, OutputBuffer& out);

// ---- scaled decimals: value / 10^scale
inline constexpr unsigned int SCALED_U16_MAX = 65535u;
inline constexpr unsigned int SCALED_U32_MAX = 4294967295u;
// Encodes a non-negative x with as many decimal digits as fit below `limit`. No range check:
// callers that have one test x >= limit first.
void encode_scaled_decimal(float x, unsigned int limit, unsigned char* oscale,
                           unsigned int* ovalue);
// Decodes by repeated multiplication by 0.1, rounded to single precision each time.
float decode_scaled_decimal(unsigned int value, unsigned int scale);

// ---- markers and segments
int getc_marker_wsq(unsigned short* omarker, MarkerClass type, InputCursor& in);
int getc_table_wsq(unsigned short marker, DecoderState& state, InputCursor& in);

int getc_transform_table(WsqTransformTable& table, InputCursor& in);
int putc_transform_table(const float* lofilt, int losize, const float* hifilt, int hisize,
                         OutputBuffer& out);

int getc_quant_table(WsqQuantTable& table, InputCursor& in);
int putc_quantization_table(const WsqQuantization& quant, OutputBuffer& out);
// The same writer on bare arrays of 64 bin widths and zero-bin widths.
int putc_quantization_table(const float* bin_width, const float* zero_bin_width, OutputBuffer& out);

// One table of a DHT segment. With read_table_len the segment length is read first and
// *bytes_left set from it. On success *ohuffbits (16 bytes) and *ohuffvalues (257 bytes) are
// malloc'd for the caller.
int getc_huffman_table(unsigned char* otable_id, unsigned char** ohuffbits,
                       unsigned char** ohuffvalues, int max_huffcounts, InputCursor& in,
                       bool read_table_len, int* bytes_left);
// Every table of one DHT segment into its slot (ids of 8 or more are refused).
int getc_huffman_table_wsq(WsqHuffmanTable* tables, InputCursor& in);
int putc_huff_table(unsigned short marker, int table_id, const unsigned char* huffbits,
                    const unsigned char* huffvalues, OutputBuffer& out);

int getc_frame_header(WsqFrameHeader& frame, InputCursor& in);
int putc_frame_header(int width, int height, float m_shift, float r_scale, OutputBuffer& out);

int getc_block_hdr(unsigned char* ohuff_table, InputCursor& in);
int putc_block_hdr(int table, OutputBuffer& out);

// Reads a COM segment's text (cursor after the marker) into a malloc'd NUL-terminated copy.
int getc_comment(char** ocomment, InputCursor& in);
// Writes marker, n + 2 and the n bytes; a text over MAX_COMMENT_LENGTH is refused.
int putc_comment_segment(unsigned short marker, const char* comment, int n, OutputBuffer& out);

int getc_skip_marker_segment(unsigned short marker, InputCursor& in);

// The first COM segment before the first SOB whose text begins with "NIST_COM", parsed;
// *onistcom is null when there is none.
int find_nistcom_comment(FetList** onistcom, const unsigned char* data, int len);

// Reads bits_req (1..16) bits. When a 1-bit read meets a marker instead of data, *omarker
// receives it and *obits is undefined. *bit_count belongs to the caller (0 at a block start).
int getc_nextbits_wsq(unsigned short* obits, unsigned short* omarker, InputCursor& in,
                      int* bit_count, int bits_req, DecoderState& state);

}  // namespace quorvel::wsq
