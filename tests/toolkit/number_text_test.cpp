#include <gtest/gtest.h>

#include "toolkit/number_text.h"

namespace quorvel::toolkit {
namespace {

TEST(NumberText, GeneralFormatKeepsFifteenSignificantDigits) {
    EXPECT_EQ(format_general(0.75), "0.75");
    EXPECT_EQ(format_general(2.25), "2.25");
    EXPECT_EQ(format_general(500), "500");
    EXPECT_EQ(format_general(0.1 + 0.2), "0.3");  // 0.30000000000000004 at 17 digits
    EXPECT_EQ(format_general(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(format_general(-1.5), "-1.5");
}

TEST(NumberText, GeneralFormatUsesShortExponents) {
    EXPECT_EQ(format_general(1e20), "1E20");
    EXPECT_EQ(format_general(1.5e-7), "1.5E-7");
    EXPECT_EQ(format_general(0.0001), "0.0001");
}

TEST(NumberText, ParsesFloatsWithThePointInTheCLocale) {
    double value = 0;
    EXPECT_TRUE(parse_float(" 2.25 ", value));
    EXPECT_DOUBLE_EQ(value, 2.25);
    EXPECT_TRUE(parse_float("-1e2", value));
    EXPECT_DOUBLE_EQ(value, -100.0);
    value = 7;
    for (const char* bad : {"", " ", "0,75", "abc", "1.2.3", "0x10", "inf", "nan", ".", "1e999"}) {
        EXPECT_FALSE(parse_float(bad, value)) << bad;
    }
    EXPECT_EQ(value, 7);
}

TEST(NumberText, ParsesIntegersInTheThirtyTwoBitRange) {
    int value = 0;
    EXPECT_TRUE(parse_int("500", value));
    EXPECT_EQ(value, 500);
    EXPECT_TRUE(parse_int("-2147483648", value));
    EXPECT_EQ(value, -2147483647 - 1);
    EXPECT_TRUE(parse_int(" +12 ", value));
    EXPECT_EQ(value, 12);
    for (const char* bad : {"", "-", "2147483648", "12a", "1.5", "99999999999999999999"}) {
        EXPECT_FALSE(parse_int(bad, value)) << bad;
    }
    EXPECT_EQ(value, 12);
}

}  // namespace
}  // namespace quorvel::toolkit
