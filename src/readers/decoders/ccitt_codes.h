// The ITU-T T.4 code tables of CCITT bilevel coding: one-dimensional run-length codes for
// white and black runs (terminating 0..63, make-up 64..1728 and the extended make-up codes
// 1792..2560 shared by both colours) and the two-dimensional mode codes.
#pragma once

#include <cstdint>

namespace quorvel::readers::ccitt {

// Longest run-length code (black make-up codes): 13 bits.
inline constexpr unsigned kMaxCodeBits = 13;

// A run-length code: its bits as written ("0011"), the run it stands for.
struct RunCode {
    const char* bits;
    uint16_t run;
};

// What a 13-bit window of input starts with: the code's length (0 when no code starts so)
// and its run.
struct RunLookup {
    uint8_t length;
    uint16_t run;
};

// 2^13 entries each, indexed by the next 13 input bits, most significant first.
const RunLookup* white_lookup();
const RunLookup* black_lookup();

// The tables as T.4 lists them, for the lookups and for tests that check them.
struct CodeTable {
    const RunCode* codes;
    unsigned count;
};
CodeTable white_codes();
CodeTable black_codes();
CodeTable extended_codes();  // make-up codes 1792..2560 of both colours

// Two-dimensional coding modes (T.4 section 4.2).
enum class Mode { Pass, Horizontal, Vertical, Extension, Invalid };
struct ModeCode {
    Mode mode;
    int delta;        // a1 - b1 for vertical modes
    unsigned length;  // bits the code takes
};
// The mode code at the start of the next 7 input bits (most significant first).
ModeCode mode_code(unsigned next7);

}  // namespace quorvel::readers::ccitt
