// The run-length decoders against hand-coded blocks: each scheme's packets, runs and literals
// that overshoot the output, inputs that end inside a packet, and the status that says where
// decoding stopped.
#include "formats/run_length.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace quorvel::formats {
namespace {

using Bytes = std::vector<uint8_t>;
using Decode = RunResult (*)(std::span<const uint8_t>, std::span<uint8_t>);

struct Case {
    const char* name;
    Decode decode;
    Bytes source;
    size_t target_size;
    Bytes expected;  // the target afterwards (0xEE where nothing was written)
    size_t consumed;
    RunStatus status;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// `count` copies of `pixel`, then `tail` untouched bytes.
Bytes repeated(const Bytes& pixel, size_t count, size_t tail = 0) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
    out.insert(out.end(), tail, 0xEE);
    return out;
}

RunResult sgi8(std::span<const uint8_t> in, std::span<uint8_t> out) {
    return decode_sgi_rle(in, out, 1);
}
RunResult sgi16(std::span<const uint8_t> in, std::span<uint8_t> out) {
    return decode_sgi_rle(in, out, 2);
}
template <unsigned N>
RunResult targa(std::span<const uint8_t> in, std::span<uint8_t> out) {
    TargaRun run;
    return decode_targa_rle(in, out, N, run);
}
RunResult pcx(std::span<const uint8_t> in, std::span<uint8_t> out) {
    PcxRun run;
    return decode_pcx_rle(in, out, run);
}

class RunLength : public ::testing::TestWithParam<Case> {};

TEST_P(RunLength, DecodesWithinBothSpans) {
    const Case& c = GetParam();
    // Exactly sized buffers, so that a sanitizer build catches any access past them.
    const Bytes source = c.source;
    Bytes target(c.target_size, 0xEE);
    const RunResult r = c.decode(source, target);
    EXPECT_EQ(target, c.expected);
    EXPECT_EQ(r.produced, c.target_size - std::count(target.begin(), target.end(), 0xEE));
    EXPECT_EQ(r.consumed, c.consumed);
    EXPECT_EQ(r.status, c.status);
}

constexpr uint8_t E = 0xEE;
using S = RunStatus;

INSTANTIATE_TEST_SUITE_P(
    Schemes, RunLength,
    ::testing::Values(
        // The example of the TIFF 6.0 description of PackBits.
        Case{"packbits_tiff_example",
             decode_packbits,
             {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7,
              0xAA},
             24,
             {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
              0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA},
             15,
             S::ok},
        Case{"packbits_minus_128_skipped",
             decode_packbits,
             {0x80, 0x00, 0x07},
             4,
             {7, E, E, E},
             3,
             S::short_input},
        Case{"packbits_repeat_cut",
             decode_packbits,
             {0x81, 0x05, 0x00, 0x09},
             3,
             {5, 5, 5},
             2,
             S::cut_repeat},
        Case{"packbits_literal_cut_consumed_whole",
             decode_packbits,
             {0x03, 1, 2, 3, 4, 0x00, 9},
             2,
             {1, 2},
             5,
             S::cut_literal},
        Case{"packbits_literal_past_source",
             decode_packbits,
             {0x05, 1, 2},
             3,
             {1, 2, E},
             3,
             S::short_input},
        Case{"packbits_repeat_without_its_byte",
             decode_packbits,
             {0xFE},
             2,
             {E, E},
             1,
             S::short_input},
        Case{"targa_repeat_and_literal",
             targa<2>,
             {0x81, 1, 2, 0x00, 3, 4},
             6,
             {1, 2, 1, 2, 3, 4},
             6,
             S::ok},
        Case{"targa_run_cut", targa<1>, {0xFF, 7}, 3, {7, 7, 7}, 2, S::ok},
        // Runs longer than the pixel-by-pixel stretch, whole and cut short of a pixel.
        Case{"targa_long_run", targa<3>, {0xE3, 1, 2, 3}, 300, repeated({1, 2, 3}, 100), 4, S::ok},
        Case{"targa_long_run_cut",
             targa<4>,
             {0xFF, 1, 2, 3, 4},
             4 * 77 + 2,
             repeated({1, 2, 3, 4}, 77, 2),
             5,
             S::ok},
        // The pixel's first bytes are kept, for input that comes in pieces.
        Case{"targa_pixel_missing", targa<3>, {0x80, 1, 2}, 3, {E, E, E}, 3, S::short_input},
        Case{"pcx_literal_and_run", pcx, {5, 0xC3, 9}, 4, {5, 9, 9, 9}, 3, S::ok},
        Case{"pcx_run_cut", pcx, {0xFF, 1}, 2, {1, 1}, 2, S::ok},
        Case{"pcx_run_without_value", pcx, {4, 0xC2}, 3, {4, E, E}, 2, S::short_input},
        Case{
            "sgi_literal_run_end", sgi8, {0x82, 1, 2, 0x02, 3, 0, 9}, 5, {1, 2, 3, 3, E}, 6, S::ok},
        Case{"sgi_16_bit_run_cut", sgi16, {0, 3, 1, 2}, 4, {1, 2, 1, 2}, 4, S::cut_repeat},
        Case{"sgi_cuts_dropped_row_read_on",
             sgi8,
             {0x03, 7, 0x83, 1, 2, 3, 0x00},
             2,
             {7, 7},
             7,
             S::cut_repeat},
        Case{"sgi_literal_past_source", sgi8, {0x85, 1, 2}, 5, {1, 2, E, E, E}, 3, S::short_input}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunLength, TargaAndPcxPacketsGoOnIntoTheNextCall) {
    TargaRun targa;
    Bytes first(3), second(4);
    const Bytes source = {0x83, 6};
    EXPECT_EQ(decode_targa_rle(source, first, 1, targa).consumed, 2u);
    // The rest of the run, then a literal of two 2-byte pixels handed over a byte at a time.
    TargaRun pairs;
    const Bytes literal = {0x01, 1, 2, 3, 4};
    Bytes out(4, E);
    size_t produced = 0;
    for (size_t i = 0; i < literal.size(); ++i)
        produced += decode_targa_rle(std::span(literal).subspan(i, 1),
                                     std::span(out).subspan(produced), 2, pairs)
                        .produced;
    EXPECT_EQ(out, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(targa_bytes_owed(pairs, 2), 0u);
    EXPECT_EQ(decode_targa_rle({}, std::span(second).first(1), 1, targa).produced, 1u);
    EXPECT_EQ(second[0], 6);

    PcxRun pcx;
    const Bytes run = {0xC4, 3};
    EXPECT_EQ(decode_pcx_rle(run, first, pcx).produced, 3u);
    EXPECT_EQ(decode_pcx_rle({}, second, pcx).produced, 1u);
    EXPECT_EQ(second[0], 3);
}

}  // namespace
}  // namespace quorvel::formats
