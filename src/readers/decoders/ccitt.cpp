#include "readers/decoders/ccitt.h"

#include <algorithm>
#include <cstring>

#include "readers/decoders/ccitt_codes.h"

namespace quorvel::readers {
namespace {

constexpr unsigned kEolZeros = 11;

}  // namespace

DecodeResult TCCITTDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    data_ = source.data();
    bits_ = source.size() * 8;
    bit_ = 0;
    reference_.assign({width_, width_, width_});  // a white row before the first
    const size_t row_bytes = (size_t{width_} + 7) / 8;
    size_t out = 0;
    while (row_bytes != 0 && out + row_bytes <= target.size() && start_row()) {
        uint8_t* row = target.data() + out;
        std::memset(row, 0, row_bytes);
        if (!decode_row(row)) break;
        out += row_bytes;
    }
    return {std::min(source.size(), (bit_ + 7) / 8), out};
}

unsigned TCCITTDecoder::peek(unsigned count) const {
    unsigned value = 0;
    for (unsigned i = 0; i < count; ++i) {
        const size_t at = bit_ + i;
        unsigned bit = 0;
        if (at < bits_) {
            const uint8_t byte = reversed_ ? reversed_byte(data_[at / 8]) : data_[at / 8];
            bit = (byte >> (7 - at % 8)) & 1;
        }
        value = value << 1 | bit;
    }
    return value;
}

bool TCCITTDecoder::skip_eol() {
    size_t zeros = 0;
    while (bit_ + zeros < bits_ && peek_at_zero(zeros)) ++zeros;
    if (zeros < kEolZeros || bit_ + zeros >= bits_) return false;
    bit_ += zeros + 1;
    return true;
}

bool TCCITTDecoder::peek_at_zero(size_t offset) const {
    const size_t at = bit_ + offset;
    const uint8_t byte = reversed_ ? reversed_byte(data_[at / 8]) : data_[at / 8];
    return ((byte >> (7 - at % 8)) & 1) == 0;
}

int64_t TCCITTDecoder::decode_run(bool black) {
    const ccitt::RunLookup* table = black ? ccitt::black_lookup() : ccitt::white_lookup();
    int64_t total = 0;
    for (;;) {
        if (at_end()) return -1;
        const ccitt::RunLookup code = table[peek(ccitt::kMaxCodeBits)];
        if (code.length == 0) return -1;
        skip(code.length);
        total += code.run;
        if (code.run < 64) return total;
        if (total > int64_t{width_} + 2560) return -1;  // make-up codes beyond any row
    }
}

void TCCITTDecoder::fill(uint8_t* row, uint32_t from, uint32_t to, bool black) {
    if (!black) return;
    for (uint32_t x = from; x < to && x < width_; ++x)
        row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

bool TCCITTDecoder::decode_row_1d(uint8_t* row) {
    current_.clear();
    uint32_t a0 = 0;
    bool black = false;
    while (a0 < width_) {
        const int64_t run = decode_run(black);
        if (run < 0) return false;
        const uint32_t a1 = static_cast<uint32_t>(std::min<int64_t>(a0 + run, width_));
        fill(row, a0, a1, black);
        a0 = a1;
        current_.push_back(a0);
        black = !black;
    }
    reference_ = current_;
    reference_.insert(reference_.end(), {width_, width_, width_});
    return true;
}

// T.4 two-dimensional coding against the row before. Changing elements alternate: even
// indexes start black runs, odd ones white runs.
bool TCCITTDecoder::decode_row_2d(uint8_t* row) {
    current_.clear();
    int64_t a0 = -1;
    bool black = false;
    size_t i = 0;  // search position in the reference row
    while (a0 < int64_t{width_}) {
        if (at_end()) return false;
        // b1: the first changing element right of a0 whose colour is the opposite of a0's.
        while (i > 0 && int64_t{reference_[i - 1]} > a0) --i;
        while (int64_t{reference_[i]} <= a0 || (i % 2 == 1) != black) ++i;
        const int64_t b1 = reference_[i], b2 = reference_[i + 1];
        const ccitt::ModeCode mode = ccitt::mode_code(peek(7));
        const uint32_t start = static_cast<uint32_t>(std::max<int64_t>(a0, 0));
        switch (mode.mode) {
            case ccitt::Mode::Pass:
                skip(mode.length);
                fill(row, start, static_cast<uint32_t>(std::min<int64_t>(b2, width_)), black);
                a0 = b2;
                break;
            case ccitt::Mode::Horizontal: {
                skip(mode.length);
                const int64_t r1 = decode_run(black);
                const int64_t r2 = r1 < 0 ? -1 : decode_run(!black);
                if (r2 < 0) return false;
                const uint32_t a1 = static_cast<uint32_t>(std::min<int64_t>(start + r1, width_));
                const uint32_t a2 = static_cast<uint32_t>(std::min<int64_t>(a1 + r2, width_));
                fill(row, start, a1, black);
                fill(row, a1, a2, !black);
                current_.insert(current_.end(), {a1, a2});
                a0 = a2;
                break;
            }
            case ccitt::Mode::Vertical: {
                skip(mode.length);
                const int64_t a1 = b1 + mode.delta;
                if (a1 < int64_t{start} || a1 > int64_t{width_}) return false;
                fill(row, start, static_cast<uint32_t>(a1), black);
                current_.push_back(static_cast<uint32_t>(a1));
                a0 = a1;
                black = !black;
                break;
            }
            default:
                return false;  // uncompressed mode and unknown codes are not decoded
        }
        // Pass mode may point past the end only through damaged data.
        if (a0 > int64_t{width_}) a0 = width_;
    }
    reference_ = current_;
    reference_.insert(reference_.end(), {width_, width_, width_});
    return true;
}

bool TCCITTMHDecoder::start_row() {
    align(word_aligned_ ? 16 : 8);
    return !at_end();
}

bool TCCITTFax3Decoder::start_row() {
    skip_eol();
    if (at_end()) return false;
    if (two_dimensional_) {
        next_is_1d_ = peek(1) == 1;
        skip(1);
    }
    return !at_end();
}

bool TCCITTFax3Decoder::decode_row(uint8_t* row) {
    return !two_dimensional_ || next_is_1d_ ? decode_row_1d(row) : decode_row_2d(row);
}

}  // namespace quorvel::readers
