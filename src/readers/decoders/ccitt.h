// CCITT bilevel decoders of TIFF: modified Huffman (compression 2, and 32771 with rows on
// 16-bit boundaries) and Group 3 (compression 3, one- and two-dimensional rows). Rows of
// `width` pixels; black pixels become 1-bits of the zero-filled output rows.
#pragma once

#include <cstdint>
#include <vector>

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

// A byte with its bit order reversed (FillOrder 2 data).
inline uint8_t reversed_byte(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// Shared by both: a bit reader over one strip (bit-reversed bytes for FillOrder 2) and the
// one- and two-dimensional row decoding. A code that is none of T.4's ends the strip: the
// rows decoded before it are kept, nothing is guessed.
class TCCITTDecoder : public TDecoder {
public:
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;

protected:
    TCCITTDecoder(uint32_t width, bool reversed_bits) : width_(width), reversed_(reversed_bits) {}

    // Before each row: byte or word alignment, end-of-line codes. False when the strip ends.
    virtual bool start_row() = 0;
    // Decodes one row into `row`; false on a code error or when the data ran out.
    virtual bool decode_row(uint8_t* row) = 0;

    unsigned peek(unsigned count) const;
    void skip(unsigned count) { bit_ += count; }
    bool at_end() const { return bit_ >= bits_; }
    void align(unsigned bits) { bit_ = (bit_ + bits - 1) / bits * bits; }
    // Skips an end-of-line code (11 or more zeros and a 1) if one starts here.
    bool skip_eol();
    bool peek_at_zero(size_t offset) const;

    bool decode_row_1d(uint8_t* row);
    bool decode_row_2d(uint8_t* row);

    uint32_t width_;
    std::vector<uint32_t> reference_, current_;  // changing elements of the last and this row

private:
    // A white or black run (make-up codes and the terminating code); -1 on a code error.
    int64_t decode_run(bool black);
    void fill(uint8_t* row, uint32_t from, uint32_t to, bool black);

    bool reversed_;
    const uint8_t* data_ = nullptr;
    size_t bit_ = 0;
    size_t bits_ = 0;
};

// Modified Huffman: one-dimensional rows, each starting on a new byte (`word_aligned`: on a
// new 16-bit word of the strip, as TIFF 6.0 has it for compression 32771).
class TCCITTMHDecoder : public TCCITTDecoder {
public:
    TCCITTMHDecoder(uint32_t width, bool reversed_bits, bool word_aligned)
        : TCCITTDecoder(width, reversed_bits), word_aligned_(word_aligned) {}

protected:
    bool start_row() override;
    bool decode_row(uint8_t* row) override { return decode_row_1d(row); }

private:
    bool word_aligned_;
};

// Group 3: each row after an end-of-line code; with `two_dimensional` (T4Options bit 0) a tag
// bit after the code says whether the row is coded in one dimension (1) or against the row
// before (0).
class TCCITTFax3Decoder : public TCCITTDecoder {
public:
    TCCITTFax3Decoder(uint32_t width, bool reversed_bits, bool two_dimensional)
        : TCCITTDecoder(width, reversed_bits), two_dimensional_(two_dimensional) {}

protected:
    bool start_row() override;
    bool decode_row(uint8_t* row) override;

private:
    bool two_dimensional_;
    bool next_is_1d_ = true;
};

}  // namespace quorvel::readers
