// One C++ API call into the raster layer. The container layer, the toolkit's picture loader,
// the GDI handle table and the presenter are process-wide, so such calls hold one lock; the
// message boxes the readers and writers raise and the WSQ codec's lines are recorded instead
// of shown, and become the message of the Error a failure throws.
#pragma once

#include <quorvel/quorvel.hpp>

#include <mutex>
#include <string>
#include <vector>

#include "platform/presenter.h"
#include "wsq/diag.h"

namespace quorvel::cpp {

class RecordingPresenter : public platform::Presenter {
public:
    int message_box(HWND owner, const std::string& text, const std::string& caption,
                    unsigned type) override;
    int show_modal(toolkit::Form& form) override;
    bool browse_for_folder(const std::string& title, std::string& folder) override;
    const std::vector<std::string>& messages() const { return messages_; }

private:
    std::vector<std::string> messages_;
};

class RasterSession {
public:
    explicit RasterSession(const char* operation);
    ~RasterSession();
    RasterSession(const RasterSession&) = delete;
    RasterSession& operator=(const RasterSession&) = delete;

    // Error(code, "<operation>: <reason>", then every recorded message and codec line).
    [[noreturn]] void fail(int code, const std::string& reason) const;

private:
    const char* operation_;
    std::lock_guard<std::mutex> lock_;
    RecordingPresenter recorder_;
    platform::Presenter* previous_;
    wsq::DiagCapture codec_lines_;
};

}  // namespace quorvel::cpp
