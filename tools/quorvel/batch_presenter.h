// What `quorvel batch` puts between the conversion job and the user: a presenter that keeps
// each file's message boxes for the report instead of showing them.
#pragma once

#include <string>
#include <vector>

#include "platform/presenter.h"

namespace quorvel::tool {

class CollectingPresenter : public platform::Presenter {
public:
    CollectingPresenter() : previous_(platform::set_presenter(this)) {}
    ~CollectingPresenter() override { platform::set_presenter(previous_); }

    int message_box(HWND owner, const std::string& text, const std::string& caption,
                    unsigned type) override;
    int show_modal(platform::Window& form) override { return fallback_.show_modal(form); }
    bool browse_for_folder(const std::string&, std::string&) override { return false; }

    // "Caption: text" of every message since the last take, joined with "; ".
    std::string take_messages();

private:
    platform::Presenter* previous_;
    platform::DefaultPresenter fallback_;
    std::vector<std::string> messages_;
};

}  // namespace quorvel::tool
