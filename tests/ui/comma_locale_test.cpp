// Where the user's decimal separator is a comma, numbers are written and read with it.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "api/settings.h"
#include "support/test_support.h"
#include "toolkit/number_text.h"
#include "ui/wsq_dialog.h"

namespace quorvel {
namespace {

// Switches LC_NUMERIC to a German locale for the test, compiling one into a scratch directory
// when the system has none installed; restores the C locale afterwards.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr && toolkit::decimal_separator() == ',')
                return;
        }
        if (testing::have_tool("localedef") &&
            testing::run("localedef -i de_DE -f UTF-8 '" + dir_.file("de_DE.UTF-8") +
                         "' >/dev/null 2>&1") <= 1) {
            setenv("LOCPATH", dir_.path().c_str(), 1);
            if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr &&
                toolkit::decimal_separator() == ',')
                return;
        }
        GTEST_SKIP() << "no locale with a decimal comma available";
    }
    void TearDown() override {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
    }

private:
    testing::TempDir dir_;
};

TEST_F(CommaLocale, NumbersAreWrittenAndReadWithTheComma) {
    EXPECT_EQ(toolkit::format_general(0.75), "0,75");
    EXPECT_EQ(toolkit::format_general(1.5e-7), "1,5E-7");
    double value = 0;
    EXPECT_TRUE(toolkit::parse_float("2,25", value));
    EXPECT_DOUBLE_EQ(value, 2.25);
    EXPECT_FALSE(toolkit::parse_float("2.25", value));  // the point is not this user's separator
}

TEST_F(CommaLocale, WsqDialogShowsAndRestoresTheBitrateWithTheComma) {
    ui::TWSQDialog dialog;
    EXPECT_EQ(dialog.BitrateEdit.text(), "0,75");
    api::Settings settings;
    api::write_wsq_bitrate(settings, dialog, 2.25);
    EXPECT_EQ(dialog.BitrateEdit.text(), "2,25");
    dialog.FormShow();
    dialog.BitrateEdit.set_text("1");
    dialog.CancelBtnClick();
    EXPECT_EQ(dialog.BitrateEdit.text(), "2,25");
    // The key filter takes one separator of either kind, whatever the locale.
    dialog.BitrateEdit.set_text("3");
    EXPECT_TRUE(dialog.BitrateEdit.type('.'));
    EXPECT_FALSE(dialog.BitrateEdit.type(','));
}

}  // namespace
}  // namespace quorvel
