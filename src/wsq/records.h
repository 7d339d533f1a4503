// The records that the WSQ segments carry, and the decoder's process-wide state built from them.
#pragma once

#include <cstdint>

#include "wsq/workspace.h"

namespace quorvel::wsq {

inline constexpr int MAX_HUFFBITS = 16;         // longest code, and length counts in a DHT table
inline constexpr int MAX_HUFFCOUNTS_WSQ = 256;  // symbols that take part in coding
inline constexpr int MAX_HUFFCOEFF = 74;        // largest coefficient with a symbol of its own
inline constexpr int MAX_HUFFZRUN = 100;        // longest zero run with a symbol of its own
inline constexpr int MAX_DHT_TABLES = 8;        // decoder table slots, ids 0..7
inline constexpr int MAX_SUBBANDS = 64;
inline constexpr int NUM_SUBBANDS = 60;  // subbands that are quantized and coded

struct WsqFrameHeader {
    uint8_t black = 0;
    uint8_t white = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    float m_shift = 0.0f;
    float r_scale = 0.0f;
    uint8_t WSQ_encoder = 0;
    uint16_t Software = 0;
};

// Synthesis filters rebuilt from a DTT segment. The arrays are malloc'd and owned by the
// record; release_transform_table frees them.
struct WsqTransformTable {
    float* lofilt = nullptr;
    float* hifilt = nullptr;
    uint8_t losize = 0;
    uint8_t hisize = 0;
    uint8_t lo_defined = 0;
    uint8_t hi_defined = 0;
};

void release_transform_table(WsqTransformTable& table);

struct WsqQuantTable {
    float bin_center = 0.0f;
    float bin_width[MAX_SUBBANDS] = {};
    float zero_bin_width[MAX_SUBBANDS] = {};
    uint8_t defined = 0;
};

struct WsqHuffmanTable {
    uint8_t defined = 0;
    uint8_t huffbits[MAX_HUFFBITS] = {};
    uint8_t huffvalues[MAX_HUFFCOUNTS_WSQ + 1] = {};
};

// Everything a decode keeps between segment reads and, for the transform and quantization
// tables, between decodes. One process-wide instance serves the C exports; a caller that wants
// its own (a test, a thread) makes another and passes it down.
// The most one frame may take: its pixels, and the bytes of the coefficients, floating-point
// image and pixels sized by it. The caller hands in the library's load limits; a state made
// without them refuses only what the 32-bit geometry cannot index.
struct FrameLimits {
    uint64_t max_pixels = UINT64_MAX;
    uint64_t max_bytes = UINT64_MAX;
};

struct DecoderState {
    WsqTransformTable dtt;
    WsqQuantTable dqt;
    WsqHuffmanTable dht[MAX_DHT_TABLES];
    WsqFrameHeader frame;
    // Bit reader: the byte being consumed and the byte that followed a 0xFF.
    unsigned char code = 0;
    unsigned char code2 = 0;
    int debug = 0;
    DecodeWorkspace work;
    int threads = 1;  // more splits the filter bank's large passes (the same pixels)
    FrameLimits limits;

    DecoderState() = default;
    ~DecoderState() { release_transform_table(dtt); }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;
};

DecoderState& process_decoder_state();

}  // namespace quorvel::wsq
