#include "raster/codecs/gif_lzw.h"

#include <array>

namespace quorvel::raster {
namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;

// Codes packed least significant bit first.
class CodeReader {
public:
    explicit CodeReader(std::span<const uint8_t> data) : data_(data) {}
    // The next code of `bits` bits, or -1 when the data ends first.
    int next(int bits) {
        while (held_ < bits) {
            if (at_ == data_.size()) return -1;
            buffer_ |= uint32_t{data_[at_++]} << held_;
            held_ += 8;
        }
        const int code = static_cast<int>(buffer_ & ((1u << bits) - 1));
        buffer_ >>= bits;
        held_ -= bits;
        return code;
    }

private:
    std::span<const uint8_t> data_;
    size_t at_ = 0;
    uint32_t buffer_ = 0;
    int held_ = 0;
};

// The string table: each code is a shorter code plus one last value.
struct Table {
    std::array<uint16_t, kTableSize> prefix{}, last{}, first{}, length{};
    int roots = 0, next = 0, bits = 0;

    void reset(int min_code_size) {
        roots = 1 << min_code_size;
        next = roots + 2;
        bits = min_code_size + 1;
        for (int c = 0; c < roots; ++c)
            prefix[c] = 0, last[c] = first[c] = uint16_t(c), length[c] = 1;
    }
    // A new code, the string of `code` followed by `value`; once the table is full the codes
    // stay 12 bits wide and nothing is added until the next clear code.
    void add(int code, uint16_t value) {
        if (next >= kTableSize) return;
        prefix[next] = uint16_t(code), last[next] = value, first[next] = first[code];
        length[next] = uint16_t(length[code] + 1);
        if (++next == (1 << bits) && bits < kMaxCodeBits) ++bits;
    }
};

// Writes the string of `code` at `out[at]`, cut where `out` ends; returns the new position.
size_t emit(const Table& t, int code, std::span<uint8_t> out, size_t at) {
    const size_t length = t.length[code];
    size_t end = at + length;
    for (int c = code; end > at; c = t.prefix[c]) {
        --end;
        if (end < out.size()) out[end] = static_cast<uint8_t>(t.last[c]);
    }
    return at + length;
}

}  // namespace

bool decode_gif_lzw(int min_code_size, std::span<const uint8_t> data, std::span<uint8_t> out) {
    if (min_code_size < 1 || min_code_size > kGifMaxMinimumCodeSize) return false;
    Table t;
    t.reset(min_code_size);
    const int clear = t.roots, end_code = t.roots + 1;
    CodeReader codes(data);
    size_t at = 0;
    int previous = -1;
    while (at < out.size()) {
        const int code = codes.next(t.bits);
        if (code < 0 || code == end_code) return false;
        if (code == clear) {
            t.reset(min_code_size);
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code >= t.roots) return false;
        } else if (code < t.next) {
            t.add(previous, t.first[code]);
        } else if (code == t.next && t.next < kTableSize) {
            t.add(previous, t.first[previous]);  // the string that is being defined
        } else {
            return false;
        }
        at = emit(t, code, out, at);
        previous = code;
    }
    return true;
}

}  // namespace quorvel::raster
