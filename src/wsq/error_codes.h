// Every return code of the WSQ codec: 0 is success, each failure a negative code with one
// line through diag(). The values are the codec's established ones and callers compare them,
// so they never change. Several values mean different failures in different layers; each such
// name says which others share its value ("shares -N with ..."): tell them apart by the
// function that returned them.
#pragma once

namespace quorvel::wsq {

// ---- the encoder driver (wsq_encode_1)
inline constexpr int kEncodeNoImageMemory = -10;
inline constexpr int kEncodeBlockSizes = -11;
inline constexpr int kEncodeNoOutputMemory = -12;
inline constexpr int kEncodeNoHuffMemory = -13;
inline constexpr int kEncodeTooSmall = -14;  // below the filter bank's 81 x 81 (or not positive)
inline constexpr int kEncodeTooLarge = -15;  // a side above 65535, or buffers beyond 32 bits
inline constexpr int kEncodeNullArgument = -16;  // no pixels or no place for the stream
inline constexpr int kEncodeBadBitrate = -17;    // a bitrate that is not a number

// ---- the decoder driver (wsq_decode_mem)
// Also a frame of more than INT_MAX pixels, over the load limits, or beyond what its coded
// data can fill.
inline constexpr int kDecodeNoCoefficientMemory = -20;
inline constexpr int kDecodeNoPixelMemory = -21;
inline constexpr int kDecodeTooSmall = -22;  // frame below the filter bank's minimum (or 0 wide)

// ---- byte primitives and the bit reader
inline constexpr int kOutputFullByte = -32;   // putc_byte
inline constexpr int kOutputFullBytes = -33;  // putc_bytes; shares -33 with kBlockOverflow
inline constexpr int kCommentTooLong = -34;
inline constexpr int kEndOfBufferByte = -39;   // getc_byte
inline constexpr int kEndOfBufferBytes = -40;  // getc_bytes
inline constexpr int kNoStuffedZero = -41;     // 0xFF in the coded data not followed by 0x00

// ---- Huffman coding
inline constexpr int kBlockOverflow = -33;  // compress_block; shares -33 with kOutputFullBytes
inline constexpr int kCountNoMemory = -48;  // count_block
inline constexpr int kUndefinedHuffmanTable = -51;
inline constexpr int kInvalidSymbol = -52;
inline constexpr int kNoCodeMatches = -53;
inline constexpr int kTooManyCoefficients = -54;
// The table builders number their failures from -1 in each function.
inline constexpr int kAllOnesCode = -1;         // make_block_hufftable refuses such a table
inline constexpr int kHuffNoMemory = -2;        // first allocation of a builder; shares -2
inline constexpr int kHuffCodeTooLong = -3;     // beyond 32 merges, or beyond 16 bits; shares -3
inline constexpr int kHuffNoMemoryOthers = -3;  // find_huff_sizes' second allocation
inline constexpr int kNoCodeForSymbol = -2;     // compress_block; shares -2
// Reading a DHT segment (getc_huffman_table, getc_huffman_table_wsq).
inline constexpr int kHuffTableNoBytes = -2;       // shares -2
inline constexpr int kHuffTableNoMemoryBits = -3;  // shares -3
inline constexpr int kHuffTableTooManyValues = -4;
inline constexpr int kHuffTableNoMemoryValues = -5;
inline constexpr int kHuffTableRedefined = -2;      // shares -2
inline constexpr int kHuffTableIdOutOfRange = -93;  // shares -93 with kInvalidTableMarker

// ---- segments
inline constexpr int kQuantWidthTooHigh = -86;  // putc_quantization_table: Q
inline constexpr int kZeroBinTooHigh = -87;     // putc_quantization_table: Z
inline constexpr int kCommentTooShort = -2;     // getc_comment: length below 2; shares -2
inline constexpr int kCommentNoMemory = -2;     // getc_comment; shares -2
inline constexpr int kSegmentTooShort = -2;     // getc_skip_marker_segment; shares -2
inline constexpr int kSegmentPastEnd = -2;      // getc_skip_marker_segment; shares -2
// getc_transform_table's allocations; share -94 .. -97 with the filter bank's codes.
inline constexpr int kTransformNoMemoryLow = -94;
inline constexpr int kTransformNoMemoryHigh = -95;
inline constexpr int kTransformNoMemoryLowCoefficients = -96;
inline constexpr int kTransformNoMemoryHighCoefficients = -97;

// ---- markers (getc_marker_wsq, getc_table_wsq)
inline constexpr int kNoSoiMarker = -88;
inline constexpr int kNoSofOrTableMarker = -89;
inline constexpr int kNoSobOrTableMarker = -90;  // shares -90 with kQuantizeNoMemory
inline constexpr int kNoMarker = -91;            // shares -91 with kUnquantizeNoMemory
inline constexpr int kInvalidMarkerClass = -92;  // shares -92 with kUnquantizeUndefined
inline constexpr int kInvalidTableMarker = -93;  // shares -93 with kHuffTableIdOutOfRange

// ---- quantization
inline constexpr int kQuantizeNoMemory = -90;     // shares -90 with kNoSobOrTableMarker
inline constexpr int kUnquantizeNoMemory = -91;   // shares -91 with kNoMarker
inline constexpr int kUnquantizeUndefined = -92;  // shares -92 with kInvalidMarkerClass

// ---- the filter bank; -94 .. -97 are shared with getc_transform_table's codes
inline constexpr int kDecomposeNoMemory = -94;
inline constexpr int kReconstructNoLowPass = -95;
inline constexpr int kReconstructNoHighPass = -96;
inline constexpr int kReconstructNoMemory = -97;
inline constexpr int kFilterBankTooSmall = -98;        // image below kMinFilterBankSize
inline constexpr int kReconstructFilterLengths = -99;  // table does not carry the 7/9 pair

// ---- NIST_COM attribute lists: each function numbers its failures from -2 (-1: not found)
inline constexpr int kFetNotFound = -1;        // find_name (internal)
inline constexpr int kFetNoMemory = -2;        // first allocation of a function; shares -2
inline constexpr int kFetNoMemorySecond = -3;  // shares -3
inline constexpr int kFetNoMemoryThird = -4;   // shares -4
inline constexpr int kFetMissing = -2;         // extractfet_ret: no such attribute; shares -2
inline constexpr int kFetBadText = -2;         // string2fet: empty or overlong name; shares -2

}  // namespace quorvel::wsq
