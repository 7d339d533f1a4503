// The shared gray ramps and palette access (colour manager and container codecs alike).
#include "formats/palette.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel::formats {
namespace {

TEST(GrayRamp, LevelsSpanBlackToWhiteAtEveryDepth) {
    struct Row {
        size_t n, i;
        uint8_t up, down;
    };
    const Row rows[] = {{2, 1, 255, 0},   {4, 1, 85, 170},    {16, 1, 17, 238},
                        {16, 15, 255, 0}, {256, 77, 77, 178}, {1, 0, 0, 255}};
    for (const Row& r : rows) {
        EXPECT_EQ(gray_ramp_level(r.i, r.n), r.up) << r.n << "/" << r.i;
        EXPECT_EQ(gray_ramp_level(r.i, r.n, true), r.down) << r.n << "/" << r.i;
    }
}

TEST(GrayRamp, RecognisesRampsOnlyOfTheirDepth) {
    std::vector<uint8_t> block(4 * 4, 0);  // four entries of four bytes
    PaletteView palette{block.data(), 4, 4};
    fill_gray_ramp(palette);
    const ConstPaletteView view{block.data(), 4, 4};
    EXPECT_TRUE(is_gray_ramp(view, 4));
    EXPECT_FALSE(is_gray_ramp(view, 4, true));
    EXPECT_FALSE(is_gray_ramp(view, 16));                // 85 is not level 1 of a 16-level ramp
    EXPECT_FALSE(is_gray_ramp(view, 2));                 // more entries than levels
    EXPECT_TRUE(is_gray_ramp({block.data(), 2, 4}, 4));  // a ramp's start counts
    EXPECT_TRUE(all_gray(view));
    set_entry(palette, 2, 1, 2, 3);
    EXPECT_FALSE(all_gray(view));
    EXPECT_EQ(block[8], 3);          // blue first
    set_entry(palette, 4, 9, 9, 9);  // past the palette: dropped
    EXPECT_EQ(palette.entry(4), nullptr);
    EXPECT_FALSE(all_gray({nullptr, 4, 4}));
    EXPECT_FALSE(is_gray_ramp({block.data(), 4, 2}, 4));  // entries too small for a colour
}

TEST(PaletteView, EntriesOfAnUnusableBlockOrPastItsEndAreNone) {
    uint8_t block[2 * 4] = {10, 10, 10, 0, 1, 2, 3, 0};
    const ConstPaletteView two{block, 2, 4};
    EXPECT_TRUE(two.gray_at(0));
    EXPECT_FALSE(two.gray_at(1));
    EXPECT_EQ(two.entry(2), nullptr);
    EXPECT_FALSE(two.gray_at(2));
    for (const ConstPaletteView bad :
         {ConstPaletteView{nullptr, 2, 4}, ConstPaletteView{block, 0, 4},
          ConstPaletteView{block, 2, 2}}) {
        EXPECT_FALSE(bad.usable());
        EXPECT_EQ(bad.entry(0), nullptr);
    }
    set_entry(PaletteView{block, 2, 4}, 5, 1, 2, 3);  // past the end: dropped
    EXPECT_EQ(block[4], 1);
}

}  // namespace
}  // namespace quorvel::formats
