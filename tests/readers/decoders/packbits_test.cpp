// The PackBits decoder: literal and repeat runs, the skipped -128, and runs cut at either end.
#include "readers/decoders/packbits.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace quorvel::readers {
namespace {

using Bytes = std::vector<uint8_t>;

struct Case {
    const char* name;
    Bytes source;
    size_t target_size;
    Bytes produced;
    size_t consumed;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class PackBits : public ::testing::TestWithParam<Case> {};

TEST_P(PackBits, DecodesWithinBothSpans) {
    const Case& c = GetParam();
    TPackbitsRLEDecoder decoder;
    Bytes target(c.target_size, 0xEE);
    const DecodeResult r = decoder.decode(c.source, target);
    EXPECT_EQ(Bytes(target.begin(), target.begin() + r.produced), c.produced);
    EXPECT_EQ(r.consumed, c.consumed);
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
             15},
        Case{"minus_128_skipped", {0x80, 0x00, 0x07}, 4, {0x07}, 3},
        Case{"repeat_cut_at_target", {0x81, 0x05, 0x00, 0x09}, 3, {5, 5, 5}, 2},
        Case{"literal_cut_at_target_consumed_whole", {0x03, 1, 2, 3, 4, 0x00, 9}, 2, {1, 2}, 5},
        Case{"literal_cut_at_source", {0x05, 1, 2}, 8, {1, 2}, 3},
        Case{"repeat_without_its_byte", {0xFE}, 8, {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::readers
