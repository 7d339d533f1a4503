#include <gtest/gtest.h>

#include "platform/presenter.h"
#include "support/recording_presenter.h"
#include "toolkit/form.h"
#include "toolkit/screen.h"

namespace quorvel::toolkit {
namespace {

class ScreenGuard {
public:
    explicit ScreenGuard(ScreenSize size) : saved_(screen_size()) { set_screen_size(size); }
    ~ScreenGuard() { set_screen_size(saved_); }

private:
    ScreenSize saved_;
};

class SampleForm : public Form {
public:
    SampleForm() : Form("SampleForm", "Sample", 313, 148) {
        add_controls(ok, cancel, edit);
        ok.set_default(true);
        ok.set_modal_result(IDOK);
        cancel.set_cancel(true);
        cancel.set_modal_result(IDCANCEL);
        ok.on_click = [this] { clicks += "ok "; };
        cancel.on_click = [this] { clicks += "cancel "; };
    }
    Button ok{"OKBtn", {77, 115, 75, 25}, "OK"};
    Button cancel{"CancelBtn", {157, 115, 75, 25}, "Cancel"};
    Edit edit{"Edit", {1, 2, 3, 4}};
    int shows = 0;
    std::string clicks;

protected:
    void on_show() override {
        ++shows;
        centre_on_screen();
    }
};

TEST(Form, CentresOnTheScreenHalvingTowardsZero) {
    SampleForm form;
    {
        ScreenGuard screen({1921, 1081});
        form.centre_on_screen();
        EXPECT_EQ(form.left(), (1921 - 313) / 2);
        EXPECT_EQ(form.top(), (1081 - 148) / 2);
    }
    {
        // A screen narrower than the form: negative halves truncate towards zero.
        ScreenGuard screen({300, 100});
        form.centre_on_screen();
        EXPECT_EQ(form.left(), -6);
        EXPECT_EQ(form.top(), -24);
    }
}

TEST(Form, EnterClicksTheDefaultButtonAndEscTheCancelButton) {
    SampleForm form;
    form.begin_show();
    form.press_escape();
    EXPECT_EQ(form.modal_result(), IDCANCEL);
    EXPECT_FALSE(form.visible());
    form.begin_show();
    EXPECT_EQ(form.modal_result(), 0);
    form.press_enter();
    EXPECT_EQ(form.modal_result(), IDOK);
    EXPECT_EQ(form.clicks, "cancel ok ");
}

TEST(Form, ControlsKnowTheirFormAndCanBeFoundByName) {
    SampleForm form;
    EXPECT_EQ(form.find_control("Edit"), &form.edit);
    EXPECT_EQ(form.edit.parent(), &form);
    EXPECT_EQ(form.find_control("Nothing"), nullptr);
    EXPECT_EQ(form.controls().size(), 3u);
}

TEST(DefaultPresenter, RunsTheShowHookAndClosesWithOk) {
    SampleForm form;
    ScreenGuard screen({1920, 1080});
    platform::DefaultPresenter presenter;
    EXPECT_EQ(presenter.show_modal(form), IDOK);
    EXPECT_EQ(form.shows, 1);
    EXPECT_EQ(form.clicks, "ok ");
    EXPECT_EQ(form.left(), (1920 - 313) / 2);
    EXPECT_FALSE(form.visible());
}

TEST(Form, ShowModalGoesThroughThePresenterInForce) {
    SampleForm form;
    testing::RecordingPresenter recorder;
    recorder.on_modal = [](Form& shown) {
        shown.begin_show();
        EXPECT_TRUE(shown.visible());
        shown.press_escape();
        return shown.modal_result();
    };
    EXPECT_EQ(form.show_modal(), IDCANCEL);
    ASSERT_EQ(recorder.shown_forms.size(), 1u);
    EXPECT_EQ(recorder.shown_forms[0], &form);
    EXPECT_EQ(form.shows, 1);
    EXPECT_FALSE(form.visible());
}

}  // namespace
}  // namespace quorvel::toolkit
