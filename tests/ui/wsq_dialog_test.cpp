#include <gtest/gtest.h>

#include <string>

#include "platform/presenter.h"
#include "support/recording_presenter.h"
#include "toolkit/screen.h"
#include "ui/wsq_dialog.h"

namespace quorvel::ui {
namespace {

TEST(WsqDialog, StartsWithTheDefaultValuesAndLayout) {
    TWSQDialog dialog;
    EXPECT_EQ(dialog.caption(), "WSQ Properties");
    EXPECT_EQ(dialog.width(), 313);
    EXPECT_EQ(dialog.height(), 148);
    EXPECT_FALSE(dialog.resizable());
    EXPECT_EQ(dialog.BitrateEdit.text(), "0.75");
    EXPECT_EQ(dialog.ppiEdit.text(), "500");
    EXPECT_EQ(dialog.comment_textEdit.text(), "Vellacor");
    EXPECT_EQ(dialog.ppiLabel.caption(), "Pixels per inch (ppi)");
    EXPECT_EQ(dialog.comment_textLabel.caption(), "Comment text");
    EXPECT_EQ(dialog.BitrateEdit.tab_order(), 4);
    EXPECT_EQ(dialog.find_control("comment_textEdit"), &dialog.comment_textEdit);
}

TEST(WsqDialog, PpiEditTakesOnlyDigitsAndBackspaceUpToSeventeenCharacters) {
    TWSQDialog dialog;
    dialog.ppiEdit.set_text("50");
    EXPECT_EQ(dialog.ppiEdit.type_text("a-.,0"), 1u);
    EXPECT_EQ(dialog.ppiEdit.text(), "500");
    dialog.ppiEdit.set_text("1234567890123456");  // 16
    EXPECT_TRUE(dialog.ppiEdit.type('7'));        // grows to 17
    EXPECT_FALSE(dialog.ppiEdit.type('8'));
    EXPECT_FALSE(dialog.ppiEdit.type(toolkit::Edit::kBackspace));  // even backspace, at 17
    EXPECT_EQ(dialog.ppiEdit.text().size(), 17u);
}

TEST(WsqDialog, BitrateEditTakesOneSeparatorOfEitherKind) {
    TWSQDialog dialog;
    EXPECT_FALSE(dialog.BitrateEdit.type(','));
    EXPECT_FALSE(dialog.BitrateEdit.type('.'));
    EXPECT_FALSE(dialog.BitrateEdit.type('e'));
    dialog.BitrateEdit.set_caret(2);  // after "0."
    EXPECT_TRUE(dialog.BitrateEdit.type(toolkit::Edit::kBackspace));
    EXPECT_EQ(dialog.BitrateEdit.text(), "075");
    EXPECT_TRUE(dialog.BitrateEdit.type(','));
    EXPECT_EQ(dialog.BitrateEdit.text(), "0,75");
}

TEST(WsqDialog, BitrateEditLocksAtSixtyTwoCharacters) {
    TWSQDialog dialog;
    dialog.BitrateEdit.set_text(std::string(61, '1'));
    EXPECT_TRUE(dialog.BitrateEdit.type('2'));
    EXPECT_EQ(dialog.BitrateEdit.text().size(), 62u);
    EXPECT_FALSE(dialog.BitrateEdit.type('3'));
    EXPECT_FALSE(dialog.BitrateEdit.type(toolkit::Edit::kBackspace));
    EXPECT_EQ(dialog.BitrateEdit.text().size(), 62u);
}

TEST(WsqDialog, CancelRestoresWhatTheEditsHeldWhenShown) {
    TWSQDialog dialog;
    dialog.BitrateEdit.set_text("2.250");
    dialog.ppiEdit.set_text("0600");
    dialog.comment_textEdit.set_text("before");
    testing::RecordingPresenter recorder;
    recorder.on_modal = [&](toolkit::Form& form) {
        form.begin_show();
        dialog.BitrateEdit.set_text("9");
        dialog.ppiEdit.set_text("1");
        dialog.comment_textEdit.set_text("after");
        form.press_escape();
        return form.modal_result();
    };
    EXPECT_EQ(dialog.show_modal(), IDCANCEL);
    // Numbers come back in their normal written form.
    EXPECT_EQ(dialog.BitrateEdit.text(), "2.25");
    EXPECT_EQ(dialog.ppiEdit.text(), "600");
    EXPECT_EQ(dialog.comment_textEdit.text(), "before");
}

TEST(WsqDialog, OkKeepsWhatTheUserTyped) {
    TWSQDialog dialog;
    testing::RecordingPresenter recorder;
    recorder.on_modal = [&](toolkit::Form& form) {
        form.begin_show();
        dialog.ppiEdit.type_text("1");
        form.press_enter();
        return form.modal_result();
    };
    EXPECT_EQ(dialog.show_modal(), IDOK);
    EXPECT_EQ(dialog.ppiEdit.text(), "5001");
}

TEST(WsqDialog, ShowingWithTextThatIsNoNumberStillOpensAndCancelGivesTheTextBack) {
    TWSQDialog dialog;
    dialog.BitrateEdit.set_text("");
    dialog.ppiEdit.set_text("12x");
    dialog.FormShow();
    dialog.BitrateEdit.set_text("1");
    dialog.ppiEdit.set_text("2");
    dialog.CancelBtn.click();
    EXPECT_EQ(dialog.BitrateEdit.text(), "");
    EXPECT_EQ(dialog.ppiEdit.text(), "12x");
}

TEST(WsqDialog, EachShowingReplacesTheRememberedValues) {
    TWSQDialog dialog;
    dialog.FormShow();
    dialog.comment_textEdit.set_text("second");
    dialog.FormShow();
    dialog.comment_textEdit.set_text("typed");
    dialog.CancelBtnClick();
    EXPECT_EQ(dialog.comment_textEdit.text(), "second");
}

TEST(WsqDialog, ShownWithoutADisplayItIsCentredAndConfirmed) {
    TWSQDialog dialog;
    const toolkit::ScreenSize saved = toolkit::screen_size();
    toolkit::set_screen_size({1280, 1024});
    platform::DefaultPresenter presenter;
    EXPECT_EQ(presenter.show_modal(dialog), IDOK);
    EXPECT_EQ(dialog.left(), (1280 - 313) / 2);
    EXPECT_EQ(dialog.top(), (1024 - 148) / 2);
    EXPECT_EQ(dialog.BitrateEdit.text(), "0.75");
    toolkit::set_screen_size(saved);
}

}  // namespace
}  // namespace quorvel::ui
