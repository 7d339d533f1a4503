#include "formats/jpeg_sizes.h"

#include <cstdio>

#include <jpeglib.h>

namespace quorvel::formats {
namespace {

// Huffman codes are at least one bit, and every block of a first scan (sequential, or the DC
// scan that must open a progressive file) starts with a DC difference code.
constexpr uint64_t kHuffmanBlocksPerByte = 8;
// The arithmetic coder renormalises (and emits a bit) at the latest after 2^15 decisions of
// its smallest probability estimate (Qe = 1 of A < 2^16), and a block is at least one decision.
constexpr uint64_t kArithmeticBlocksPerByte = 8 << 15;

bool is_frame_marker(uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

}  // namespace

JpegCoding jpeg_coding(std::span<const uint8_t> s) {
    if (s.size() < 4 || s[0] != 0xFF || s[1] != 0xD8) return JpegCoding::Unknown;
    size_t at = 2;
    while (at + 4 <= s.size() && s[at] == 0xFF) {
        const uint8_t marker = s[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (is_frame_marker(marker))
            return marker >= 0xC9 ? JpegCoding::Arithmetic : JpegCoding::Huffman;
        if (marker == 0xDA || marker == 0xD9) return JpegCoding::Unknown;
        at += 2 + (size_t{s[at + 2]} << 8 | s[at + 3]);
    }
    return JpegCoding::Unknown;
}

bool jpeg_blocks_plausible(uint64_t blocks, JpegCoding coding, uint64_t bytes) {
    const uint64_t per_byte =
        coding == JpegCoding::Huffman ? kHuffmanBlocksPerByte : kArithmeticBlocksPerByte;
    return blocks / per_byte <= bytes;
}

bool jpeg_header_plausible(const jpeg_decompress_struct* cinfo, uint64_t file_bytes) {
    uint64_t blocks = 0;
    for (int i = 0; i < cinfo->comps_in_scan; ++i) {
        const jpeg_component_info* c = cinfo->cur_comp_info[i];
        blocks += uint64_t{c->width_in_blocks} * c->height_in_blocks;
    }
    // A first scan of AC coefficients only (invalid, but libjpeg reads it) can cover many
    // blocks with one end-of-band run: it gets the generous bound.
    const bool huffman = !cinfo->arith_code && cinfo->Ss == 0;
    return jpeg_blocks_plausible(blocks, huffman ? JpegCoding::Huffman : JpegCoding::Arithmetic,
                                 file_bytes);
}

}  // namespace quorvel::formats
