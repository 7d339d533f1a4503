// What `quorvel batch` puts between the conversion job and the library: a presenter that keeps
// each file's message boxes for the report instead of showing them, and a backend that writes
// every output under a temporary name first, so a file is either whole or absent.
#pragma once

#include <string>
#include <vector>

#include "platform/presenter.h"
#include "ui/conversion_job.h"

namespace quorvel::tool {

class CollectingPresenter : public platform::Presenter {
public:
    CollectingPresenter() : previous_(platform::set_presenter(this)) {}
    ~CollectingPresenter() override { platform::set_presenter(previous_); }

    int message_box(HWND owner, const std::string& text, const std::string& caption,
                    unsigned type) override;
    int show_modal(toolkit::Form& form) override { return fallback_.show_modal(form); }
    bool browse_for_folder(const std::string&, std::string&) override { return false; }

    // "Caption: text" of every message since the last take, joined with "; ".
    std::string take_messages();
    size_t message_count() const { return messages_.size(); }

private:
    platform::Presenter* previous_;
    platform::DefaultPresenter fallback_;
    std::vector<std::string> messages_;
};

class AtomicBackend : public ui::ConversionBackend {
public:
    explicit AtomicBackend(const CollectingPresenter& presenter) : presenter_(presenter) {}
    HBITMAP load(const std::string& file_name) override;
    // Nothing is written for an unreadable file (a null handle).
    void save(HBITMAP bitmap, const std::string& target, int type) override;

private:
    const CollectingPresenter& presenter_;
};

}  // namespace quorvel::tool
