// One C++ API call into the raster layer, on state of its own: a file-layer context (settings,
// library bitmap, picture holder, load error), the container's CallState (last error, WSQ
// tables) and a presenter, each installed on the calling thread for the call, so that calls
// run in parallel with each other and with the C exports. The message boxes the readers and
// writers raise and the WSQ codec's lines are recorded instead of shown, and become the
// message of the Error a failure throws.
#pragma once

#include <quorvel/quorvel.hpp>

#include <string>
#include <vector>

#include "api/context.h"
#include "platform/presenter.h"
#include "raster/call_state.h"
#include "wsq/diag.h"

namespace quorvel::cpp {

class RecordingPresenter : public platform::Presenter {
public:
    int message_box(HWND owner, const std::string& text, const std::string& caption,
                    unsigned type) override;
    int show_modal(platform::Window& form) override;
    bool browse_for_folder(const std::string& title, std::string& folder) override;
    const std::vector<std::string>& messages() const { return messages_; }

private:
    std::vector<std::string> messages_;
};

class RasterSession {
public:
    explicit RasterSession(const char* operation);
    RasterSession(const RasterSession&) = delete;
    RasterSession& operator=(const RasterSession&) = delete;

    // The call's own file-layer state.
    api::Context& context() { return context_; }

    // Error(code, "<operation>: <reason>", then every recorded message and codec line).
    [[noreturn]] void fail(int code, const std::string& reason) const;

private:
    const char* operation_;
    api::Context context_;
    raster::CallState container_;
    RecordingPresenter recorder_;
    api::ContextScope context_scope_{context_};
    raster::CallStateScope container_scope_{container_};
    platform::PresenterScope presenter_scope_{recorder_};
    wsq::DiagCapture codec_lines_;
};

}  // namespace quorvel::cpp
