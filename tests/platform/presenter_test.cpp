#include <gtest/gtest.h>

#include <string>

#include <quorvel/wingdi.h>

#include "platform/presenter.h"
#include "support/recording_presenter.h"

namespace quorvel::platform {
namespace {

TEST(MessageBox, GoesToThePresenterInForce) {
    testing::RecordingPresenter recorder;
    recorder.answers.push_back(IDCANCEL);
    EXPECT_EQ(
        MessageBoxA(nullptr, "Error writing output file", "Quorvel Error", MB_OK | MB_ICONERROR),
        IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_YESNO), IDYES);
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0].caption, "Quorvel Error");
    EXPECT_EQ(recorder.messages[0].text, "Error writing output file");
    EXPECT_EQ(recorder.messages[0].type, unsigned{MB_OK | MB_ICONERROR});
    EXPECT_EQ(recorder.messages[1].caption, "Error");
    EXPECT_EQ(recorder.messages[1].text, "");
}

TEST(MessageBox, SetPresenterReturnsThePreviousOne) {
    DefaultPresenter* fallback = dynamic_cast<DefaultPresenter*>(&presenter());
    ASSERT_NE(fallback, nullptr);
    {
        testing::RecordingPresenter outer;
        EXPECT_EQ(&presenter(), &outer);
        {
            testing::RecordingPresenter inner;
            EXPECT_EQ(&presenter(), &inner);
        }
        EXPECT_EQ(&presenter(), &outer);
    }
    EXPECT_EQ(&presenter(), fallback);
}

TEST(DefaultPresenter, WritesCaptionAndTextAndAnswersTheDefaultButton) {
    DefaultPresenter presenter;
    ::testing::internal::CaptureStderr();
    const int answer =
        presenter.message_box(nullptr, "Invalid bitmap handle", "Save Error", MB_OK | MB_ICONERROR);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Save Error: Invalid bitmap handle\n");
    EXPECT_EQ(answer, IDOK);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(presenter.message_box(nullptr, "t", "c", MB_YESNO), IDYES);
    EXPECT_EQ(presenter.message_box(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(presenter.message_box(nullptr, "t", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(presenter.message_box(nullptr, "t", "c", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(presenter.message_box(nullptr, "t", "c", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(presenter.message_box(nullptr, "t", "c", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2),
              IDRETRY);
    ::testing::internal::GetCapturedStderr();
    std::string folder = "/start";
    EXPECT_FALSE(presenter.browse_for_folder("Select input directory", folder));
    EXPECT_EQ(folder, "/start");
}

}  // namespace
}  // namespace quorvel::platform
