// The run-length decoders every reader of these schemes uses: bounded input, an output of known
// size, and a status saying why decoding stopped. Nothing is read or written past either span;
// each caller turns the status into its own error, or ignores what it tolerates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvel::formats {

enum class RunStatus : uint8_t {
    ok,           // the output is full, or the row's end code was read
    short_input,  // the input ended first, or inside a packet
    cut_repeat,   // a repeat ran past the output's end: the copies that did not fit are dropped
    cut_literal,  // a literal ran past the output's end: its bytes that did not fit are passed over
};

struct RunResult {
    RunStatus status = RunStatus::ok;
    size_t consumed = 0;  // input bytes used
    size_t produced = 0;  // output bytes written
};

// PackBits (TIFF, Photoshop) and ByteRun1 (IFF): a signed byte n; 0..127 copies n + 1 literal
// bytes, -1..-127 repeats the next byte 1 - n times, -128 is skipped. Stops when the output is
// full; a cut literal is consumed whole, so that the next block starts at its next control byte.
RunResult decode_packbits(std::span<const uint8_t> in, std::span<uint8_t> out);

// Truevision Targa: a control byte c; top bit set repeats the next pixel (c and 127) + 1 times,
// clear copies (c and 127) + 1 literal pixels, of 1 to 4 bytes. Packets may run across rows and
// the input may come in pieces: `run` keeps the packet in progress, and a pixel split between
// pieces. Whole pixels only: an output tail shorter than a pixel stays untouched. Stops when the
// output is full, or (short_input) when the input is used up.
struct TargaRun {
    unsigned pending = 0;  // pixels left of the packet
    bool repeat = false;
    unsigned have = 0;  // bytes of `pixel` read
    uint8_t pixel[4] = {};
};
RunResult decode_targa_rle(std::span<const uint8_t> in, std::span<uint8_t> out,
                           unsigned pixel_bytes, TargaRun& run);
// Input bytes the packet in progress still needs: its literal pixels, or a repeat's pixel.
size_t targa_bytes_owed(const TargaRun& run, unsigned pixel_bytes);
// The most pixels `bytes` of packets can give: a repeat of 1 + pixel_bytes bytes gives 128.
inline uint64_t targa_rle_most_pixels(uint64_t bytes, unsigned pixel_bytes) {
    return bytes / (1 + pixel_bytes) * 128 + 128;
}

// ZSoft PCX: a byte below 192 is a literal, a byte of 192 or more repeats the next byte (byte
// and 63) times. Stops when the output is full; `run` keeps what is left of a run then, for
// callers that let runs cross scan lines (a fresh PcxRun drops it).
struct PcxRun {
    size_t pending = 0;
    uint8_t value = 0;
};
RunResult decode_pcx_rle(std::span<const uint8_t> in, std::span<uint8_t> out, PcxRun& run);
// The most bytes `bytes` of input can give: a run of two bytes gives 63.
inline uint64_t pcx_rle_most_bytes(uint64_t bytes) { return bytes / 2 * 63 + 63; }

// SGI, one row: control units (a byte, or a big-endian word for 16-bit samples) c; count = c
// and 127; 0 ends the row; top bit set copies count literal samples, clear repeats the next
// sample count times. Samples keep the file's byte order. Reads to the end code or the input's
// end: samples past the output are dropped (the status names the first cut) and the row is
// still read to its end.
RunResult decode_sgi_rle(std::span<const uint8_t> in, std::span<uint8_t> out,
                         unsigned sample_bytes);

}  // namespace quorvel::formats
