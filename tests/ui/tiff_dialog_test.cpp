#include <gtest/gtest.h>

#include <functional>

#include "support/recording_presenter.h"
#include "ui/tiff_dialog.h"

namespace quorvel::ui {
namespace {

void expect_predictor_writable(const TTiffDialog& dialog, bool writable) {
    EXPECT_EQ(dialog.PredictorEdit.read_only(), !writable);
    EXPECT_EQ(dialog.PredictorEdit.enabled(), writable);
    EXPECT_EQ(dialog.PredictorEdit.colour(),
              writable ? toolkit::Colour::Window : toolkit::Colour::ButtonFace);
}

// Shows the dialog modally under a recording presenter; `act` plays the user's part.
int show(TTiffDialog& dialog, const std::function<void(toolkit::Form&)>& act) {
    testing::RecordingPresenter recorder;
    recorder.on_modal = [&](toolkit::Form& form) {
        form.begin_show();
        act(form);
        return form.modal_result();
    };
    return dialog.show_modal();
}

TEST(TiffDialog, StartsWithNoneAndALockedPredictor) {
    TTiffDialog dialog;
    EXPECT_EQ(dialog.caption(), "TIFF Properties");
    EXPECT_EQ(dialog.height(), 109);
    EXPECT_EQ(dialog.CompressionBox.items(),
              (std::vector<std::string>{"None", "ZIP", "Macintosh"}));
    EXPECT_EQ(dialog.CompressionBox.item_index(), 0);
    EXPECT_EQ(dialog.PredictorEdit.text(), "2");
    EXPECT_EQ(dialog.Label1.caption(), "Compression");
    EXPECT_EQ(dialog.Label3.caption(), "Predictor");
    expect_predictor_writable(dialog, false);
    EXPECT_FALSE(dialog.PredictorEdit.type('5'));
}

TEST(TiffDialog, PredictorIsWritableExactlyForZipAndMacintosh) {
    TTiffDialog dialog;
    const bool expected[] = {false, true, true};
    for (int item : {1, 0, 2, 0, 1, -1}) {
        dialog.CompressionBox.set_item_index(item);
        expect_predictor_writable(dialog, item >= 0 && expected[item]);
    }
}

TEST(TiffDialog, PredictorEditTakesOnlyDigits) {
    TTiffDialog dialog;
    dialog.CompressionBox.set_item_index(TTiffDialog::kZip);
    EXPECT_EQ(dialog.PredictorEdit.type_text("-a1"), 1u);
    EXPECT_EQ(dialog.PredictorEdit.text(), "21");
    dialog.PredictorEdit.set_text(std::string(17, '9'));
    EXPECT_FALSE(dialog.PredictorEdit.type(toolkit::Edit::kBackspace));
}

TEST(TiffDialog, CancelRestoresTheSelectionAndLocksThePredictorAgain) {
    TTiffDialog dialog;
    EXPECT_EQ(show(dialog,
                   [&](toolkit::Form& form) {
                       dialog.CompressionBox.set_item_index(TTiffDialog::kZip);
                       dialog.PredictorEdit.type_text("3");
                       EXPECT_EQ(dialog.PredictorEdit.text(), "23");
                       form.press_escape();
                   }),
              IDCANCEL);
    EXPECT_EQ(dialog.CompressionBox.item_index(), TTiffDialog::kNone);
    EXPECT_EQ(dialog.PredictorEdit.text(), "2");
    expect_predictor_writable(dialog, false);
}

TEST(TiffDialog, OkKeepsTheChoice) {
    TTiffDialog dialog;
    EXPECT_EQ(show(dialog,
                   [&](toolkit::Form& form) {
                       dialog.CompressionBox.set_item_index(TTiffDialog::kMacintosh);
                       form.press_enter();
                   }),
              IDOK);
    EXPECT_EQ(dialog.CompressionBox.item_index(), TTiffDialog::kMacintosh);
    expect_predictor_writable(dialog, true);
}

}  // namespace
}  // namespace quorvel::ui
