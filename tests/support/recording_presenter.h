// A presenter for tests: records every message box, modal form and folder question, and
// answers with what the test queued (else with the default button).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/presenter.h"
#include "toolkit/form.h"

namespace quorvel::testing {

class RecordingPresenter : public platform::Presenter {
public:
    struct Message {
        std::string caption;
        std::string text;
        unsigned type;
    };

    RecordingPresenter() : previous_(platform::set_presenter(this)) {}
    ~RecordingPresenter() override { platform::set_presenter(previous_); }

    int message_box(HWND, const std::string& text, const std::string& caption,
                    unsigned type) override {
        messages.push_back({caption, text, type});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        const unsigned buttons = type & 0xF;
        return buttons == MB_YESNO ? IDYES : IDOK;
    }
    int show_modal(platform::Window& window) override {
        toolkit::Form& form = static_cast<toolkit::Form&>(window);  // every one shown is a form
        shown_forms.push_back(&form);
        if (on_modal) return on_modal(form);
        return IDOK;
    }
    bool browse_for_folder(const std::string& title, std::string& folder) override {
        folder_questions.push_back(title);
        folder_starts.push_back(folder);
        if (folder_answers.empty()) return false;
        folder = folder_answers.front();
        folder_answers.pop_front();
        return true;
    }

    std::vector<Message> messages;
    std::deque<int> answers;
    std::vector<toolkit::Form*> shown_forms;
    std::function<int(toolkit::Form&)> on_modal;
    void process_messages() override {
        if (on_messages) on_messages();
    }

    std::vector<std::string> folder_questions;
    std::vector<std::string> folder_starts;  // the folder each browse started at
    std::function<void()> on_messages;       // runs whenever pending messages are processed
    std::deque<std::string> folder_answers;

private:
    platform::Presenter* previous_;
};

}  // namespace quorvel::testing
