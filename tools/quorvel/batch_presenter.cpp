#include "batch_presenter.h"

#include <quorvel/wingdi.h>

namespace quorvel::tool {

int CollectingPresenter::message_box(HWND, const std::string& text, const std::string& caption,
                                     unsigned type) {
    messages_.push_back(caption + ": " + text);
    // The default button, as without a display.
    return (type & 0xF) == MB_YESNO || (type & 0xF) == MB_YESNOCANCEL ? IDYES : IDOK;
}

std::string CollectingPresenter::take_messages() {
    std::string joined;
    for (const std::string& message : messages_) joined += (joined.empty() ? "" : "; ") + message;
    messages_.clear();
    return joined;
}

}  // namespace quorvel::tool
