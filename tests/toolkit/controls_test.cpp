#include <gtest/gtest.h>

#include "toolkit/controls.h"

namespace quorvel::toolkit {
namespace {

TEST(Edit, TypingInsertsAtTheCaretAndBackspaceDeletesBeforeIt) {
    Edit edit("e", {}, "0.75");
    edit.set_caret(1);
    EXPECT_TRUE(edit.type(Edit::kBackspace));
    EXPECT_EQ(edit.text(), ".75");
    EXPECT_TRUE(edit.type('2'));
    EXPECT_EQ(edit.text(), "2.75");
    EXPECT_EQ(edit.caret(), 1u);
    edit.set_caret(0);
    EXPECT_FALSE(edit.type(Edit::kBackspace));  // nothing before the caret
    EXPECT_EQ(edit.text(), "2.75");
}

TEST(Edit, FilterSeesTheTextBeforeTheKeyAndCanRejectIt) {
    Edit edit("e", {}, "ab");
    std::string seen;
    edit.on_key_press = [&](char& key) {
        seen = edit.text();
        if (key == 'x') key = 0;
    };
    EXPECT_FALSE(edit.type('x'));
    EXPECT_EQ(seen, "ab");
    EXPECT_TRUE(edit.type('c'));
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(edit.type_text("xyxz"), 2u);
    EXPECT_EQ(edit.text(), "abcyz");
}

TEST(Edit, ReadOnlyOrDisabledEditsKeepTheirText) {
    Edit edit("e", {}, "12");
    edit.set_read_only(true);
    EXPECT_FALSE(edit.type('3'));
    edit.paste("99");
    EXPECT_EQ(edit.text(), "12");
    edit.set_read_only(false);
    edit.set_enabled(false);
    EXPECT_FALSE(edit.type('3'));
    EXPECT_EQ(edit.text(), "12");
}

TEST(Edit, ControlKeysAreNotText) {
    Edit edit("e", {}, "a");
    EXPECT_FALSE(edit.type('\r'));
    EXPECT_FALSE(edit.type(27));
    EXPECT_EQ(edit.text(), "a");
}

TEST(Edit, PasteBypassesTheFilter) {
    Edit edit("e", {});
    edit.on_key_press = [](char& key) { key = 0; };
    edit.paste("-12a");
    EXPECT_EQ(edit.text(), "-12a");
    EXPECT_EQ(edit.caret(), 4u);
}

TEST(ComboBox, SelectionByCodeNotifiesAndOutOfRangeSelectsNothing) {
    ComboBox box("c", {}, {"None", "ZIP"});
    int changes = 0;
    box.on_change = [&] { ++changes; };
    box.set_item_index(1);
    EXPECT_EQ(box.text(), "ZIP");
    box.set_item_index(2);
    EXPECT_EQ(box.item_index(), -1);
    EXPECT_EQ(box.text(), "");
    box.set_item_index(-7);
    EXPECT_EQ(box.item_index(), -1);
    EXPECT_EQ(changes, 3);
}

TEST(Button, ClickRunsTheHandlerOnlyWhenEnabled) {
    Button button("b", {}, "OK");
    int clicks = 0;
    button.on_click = [&] { ++clicks; };
    button.click();
    button.set_enabled(false);
    button.click();
    button.set_enabled(true);
    button.set_visible(false);
    button.click();
    EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace quorvel::toolkit
