#include "wsq/bit_reader.h"

#include <algorithm>
#include <cstring>

#include "wsq/diag.h"
#include "wsq/error_codes.h"

namespace quorvel::wsq {

namespace {

// The next 8 bytes, the first one most significant.
uint64_t load_big_endian(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return __builtin_bswap64(word);
}

// True when some byte of the word is 0xFF (no false negatives; the bytewise path decides).
bool has_ff_byte(uint64_t word) {
    const uint64_t t = ~word;
    return ((t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull) != 0;
}

}  // namespace

void BitReader::refill() {
    // Whole bytes at once while no 0xFF is among them.
    if (nbits_ <= 56 && in_.end - in_.pos >= 8) {
        const int take = (64 - nbits_) / 8;
        const uint64_t word = load_big_endian(in_.pos) & (~0ull << (64 - 8 * take));
        if (!has_ff_byte(word)) {
            acc_ |= word >> nbits_;
            nbits_ += 8 * take;
            in_.pos += take;
            return;
        }
    }
    while (nbits_ <= 56 && in_.pos < in_.end) {
        const unsigned char b = *in_.pos;
        if (b == 0xFF) {
            if (in_.end - in_.pos < 2 || in_.pos[1] != 0x00) return;  // a marker, or the end
            in_.pos += 2;
        } else {
            ++in_.pos;
        }
        acc_ |= static_cast<uint64_t>(b) << (56 - nbits_);
        nbits_ += 8;
    }
}

int BitReader::fetch_byte(bool allow_marker, unsigned short* marker) {
    unsigned char b;
    if (int ret = getc_byte(&b, in_)) return ret;
    if (b == 0xFF) {
        unsigned char next;
        if (int ret = getc_byte(&next, in_)) return ret;
        if (next != 0x00 && allow_marker) {
            *marker = static_cast<unsigned short>((b << 8) | next);
            return 0;
        }
        if (next != 0x00) {
            diag("ERROR: getc_nextbits_wsq : No stuffed zeros\n");
            return kNoStuffedZero;
        }
    }
    acc_ = static_cast<uint64_t>(b) << 56;
    nbits_ = 8;
    return 0;
}

int BitReader::read(unsigned* bits, int k, unsigned short* marker) {
    if (nbits_ < k) refill();
    if (nbits_ >= k) {
        *bits = static_cast<unsigned>(acc_ >> (64 - k));
        skip(k);
        return 0;
    }
    // Near a marker or the end: the buffered bits, then a byte at a time. Only a 1-bit read
    // that starts on a byte boundary may meet a marker.
    const bool allow_marker = k == 1;
    unsigned value = 0;
    while (k > 0) {
        if (nbits_ == 0) {
            if (int ret = fetch_byte(allow_marker, marker)) return ret;
            if (*marker != 0) return 0;
        }
        const int take = std::min(k, nbits_);
        value = (value << take) | static_cast<unsigned>(acc_ >> (64 - take));
        skip(take);
        k -= take;
    }
    *bits = value;
    return 0;
}

}  // namespace quorvel::wsq
