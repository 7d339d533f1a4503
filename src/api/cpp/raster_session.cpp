#include "api/cpp/raster_session.h"

namespace quorvel::cpp {
namespace {

// The recorded lines after the reason, one per line, without repeating it.
std::string details(const std::string& reason, const std::vector<std::string>& messages,
                    std::string codec_lines) {
    std::string text;
    for (const std::string& m : messages)
        if (m != reason) text += "\n" + m;
    while (!codec_lines.empty() && codec_lines.back() == '\n') codec_lines.pop_back();
    if (!codec_lines.empty()) text += "\n" + codec_lines;
    return text;
}

}  // namespace

// Message boxes are answered as their default button would be, without showing anything.
int RecordingPresenter::message_box(HWND, const std::string& text, const std::string& caption,
                                    unsigned type) {
    messages_.push_back(caption + ": " + text);
    const unsigned buttons = type & 0xF;
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) return IDYES;
    return IDOK;
}

int RecordingPresenter::show_modal(platform::Window&) { return IDOK; }

bool RecordingPresenter::browse_for_folder(const std::string&, std::string&) { return false; }

RasterSession::RasterSession(const char* operation) : operation_(operation) {
    api::start_library();  // the readers' registration, once per process
}

void RasterSession::fail(int code, const std::string& reason) const {
    throw Error(code, std::string(operation_) + ": " + reason +
                          details(reason, recorder_.messages(), codec_lines_.text()));
}

}  // namespace quorvel::cpp
