// The run-length decoders: each scheme's packets, cuts at either end, and the status that says
// where decoding stopped.
#include "formats/run_length.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace quorvel::formats {
namespace {

using Bytes = std::vector<uint8_t>;

struct Case {
    const char* name;
    Bytes source;
    size_t target_size;
    Bytes produced;
    size_t consumed;
    RunStatus status;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void expect_result(const Case& c, const Bytes& target, const RunResult& r) {
    EXPECT_EQ(Bytes(target.begin(), target.begin() + r.produced), c.produced);
    EXPECT_EQ(r.consumed, c.consumed);
    EXPECT_EQ(r.status, c.status);
}

class PackBits : public ::testing::TestWithParam<Case> {};

TEST_P(PackBits, DecodesWithinBothSpans) {
    const Case& c = GetParam();
    Bytes target(c.target_size, 0xEE);
    expect_result(c, target, decode_packbits(c.source, target));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PackBits,
    ::testing::Values(
        // The example of the TIFF 6.0 description of PackBits.
        Case{"tiff_example",
             {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7,
              0xAA},
             24,
             {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
              0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA},
             15,
             RunStatus::ok},
        Case{"minus_128_skipped", {0x80, 0x00, 0x07}, 4, {0x07}, 3, RunStatus::short_input},
        Case{"repeat_cut_at_target",
             {0x81, 0x05, 0x00, 0x09},
             3,
             {5, 5, 5},
             2,
             RunStatus::cut_repeat},
        Case{"literal_cut_at_target_consumed_whole",
             {0x03, 1, 2, 3, 4, 0x00, 9},
             2,
             {1, 2},
             5,
             RunStatus::cut_literal},
        Case{"literal_cut_at_source", {0x05, 1, 2}, 8, {1, 2}, 3, RunStatus::short_input},
        Case{"repeat_without_its_byte", {0xFE}, 8, {}, 1, RunStatus::short_input}),
    [](const auto& info) { return std::string(info.param.name); });

class SgiRle : public ::testing::TestWithParam<Case> {};

// Samples of one byte, except where the name says 16 bits.
TEST_P(SgiRle, DecodesOneRowToItsEnd) {
    const Case& c = GetParam();
    Bytes target(c.target_size, 0xEE);
    const bool wide = std::string(c.name).find("16_bits") != std::string::npos;
    expect_result(c, target, decode_sgi_rle(c.source, target, wide ? 2 : 1));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SgiRle,
    ::testing::Values(Case{"literal_repeat_end",
                           {0x82, 1, 2, 0x03, 7, 0x00, 9},
                           8,
                           {1, 2, 7, 7, 7},
                           6,
                           RunStatus::ok},
                      Case{"16_bits_control_in_low_byte",
                           {0xFF, 0x02, 0x12, 0x34, 0, 0},
                           4,
                           {0x12, 0x34, 0x12, 0x34},
                           6,
                           RunStatus::ok},
                      Case{"cuts_dropped_row_read_on",
                           {0x03, 7, 0x83, 1, 2, 3, 0x00},
                           2,
                           {7, 7},
                           7,
                           RunStatus::cut_repeat},
                      Case{"literal_cut_at_source",
                           {0x01, 4, 0x85, 1, 2},
                           8,
                           {4, 1, 2},
                           5,
                           RunStatus::short_input},
                      Case{"repeat_without_its_sample", {0x04}, 8, {}, 1, RunStatus::short_input}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PcxRle, RunsGoOnIntoTheNextCallAndTheInputMayEndFirst) {
    const Bytes source = {0xC5, 9, 3, 0xC2};
    PcxRun run;
    Bytes first(2), second(5);
    const RunResult a = decode_pcx_rle(source, first, run);
    EXPECT_EQ(first, (Bytes{9, 9}));
    EXPECT_EQ(a.status, RunStatus::ok);
    EXPECT_EQ(a.consumed, 2u);
    const RunResult b = decode_pcx_rle(std::span(source).subspan(2), second, run);
    EXPECT_EQ(Bytes(second.begin(), second.begin() + b.produced), (Bytes{9, 9, 9, 3}));
    EXPECT_EQ(b.status, RunStatus::short_input);  // the last run has no value byte
    EXPECT_EQ(b.consumed, 2u);
}

}  // namespace
}  // namespace quorvel::formats
