// The bit reader of the entropy-coded data, a word at a time. Data bytes (a 0xFF 0x00 pair
// counts as one 0xFF) are taken ahead into a 64-bit buffer up to the first 0xFF that is not
// followed by 0x00, or the end of the input; the bytes from there on are read one at a time
// exactly as getc_nextbits_wsq (stream.h) reads them, so that markers, stuffing errors and
// the end of the buffer are met at the same bit, with the same codes and messages.
#pragma once

#include <cstdint>

#include "wsq/stream.h"

namespace quorvel::wsq {

class BitReader {
public:
    explicit BitReader(InputCursor& in) : in_(in) {}

    // Bits known to be data, after taking ahead what can be.
    int buffered() {
        if (nbits_ < 16) refill();
        return nbits_;
    }
    // The next 16 bits, most significant first; only when buffered() >= 16.
    unsigned peek16() const { return static_cast<unsigned>(acc_ >> 48); }
    void skip(int n) {
        acc_ <<= n;
        nbits_ -= n;
    }
    // Calls step(next 16 bits) while 16 data bits are at hand, the buffer in registers; step
    // returns how many of them it used, or 0 to stop (using none).
    template <class Step>
    void run(Step&& step) {
        uint64_t acc = acc_;
        int n = nbits_;
        for (;;) {
            if (n < 16) {
                acc_ = acc;
                nbits_ = n;
                refill();
                acc = acc_;
                n = nbits_;
                if (n < 16) break;
            }
            const int used = step(static_cast<unsigned>(acc >> 48));
            if (used == 0) break;
            acc <<= used;
            n -= used;
        }
        acc_ = acc;
        nbits_ = n;
    }
    // Reads k (1..16) bits into *bits. When k is 1 and a marker stands at the byte boundary,
    // *marker (0 on entry) receives it instead. 0, -39 (end of buffer) or -41 (no stuffed
    // zero after 0xFF).
    int read(unsigned* bits, int k, unsigned short* marker);

private:
    void refill();
    // Appends the next byte as getc_nextbits_wsq reads it on a byte boundary.
    int fetch_byte(bool allow_marker, unsigned short* marker);

    InputCursor& in_;
    uint64_t acc_ = 0;  // unread data bits, left-aligned
    int nbits_ = 0;
};

}  // namespace quorvel::wsq
