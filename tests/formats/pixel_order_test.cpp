// The red-blue exchange of three-byte pixels on every SIMD target, at lengths around every
// vector width and its scalar tail.
#include "formats/pixel_order.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/simd_targets.h"

namespace quorvel::formats {
namespace {

void expect_swapped_at_every_length() {
    for (size_t pixels : {0, 1, 15, 16, 17, 31, 33, 64, 65, 129, 1000}) {
        std::vector<uint8_t> in(pixels * 3), out(pixels * 3 + 1, 0xEE);
        for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 7 + 3);
        swap_red_blue(in.data(), out.data(), pixels);
        for (size_t p = 0; p < pixels; ++p) {
            ASSERT_EQ(out[3 * p], in[3 * p + 2]) << pixels << " pixel " << p;
            ASSERT_EQ(out[3 * p + 1], in[3 * p + 1]) << pixels << " pixel " << p;
            ASSERT_EQ(out[3 * p + 2], in[3 * p]) << pixels << " pixel " << p;
        }
        EXPECT_EQ(out.back(), 0xEE) << "wrote past " << pixels << " pixels";
    }
}

TEST(SwapRedBlue, ExchangesTheOuterBytesOfEveryPixelOnEverySimdTarget) {
    testing::for_each_simd_target([](const char* target) {
        SCOPED_TRACE(target);
        expect_swapped_at_every_length();
    });
}

}  // namespace
}  // namespace quorvel::formats
