#include "batch_backend.h"

#include <unistd.h>

#include <cstdio>

#include "ui/conversion_paths.h"
#include <quorvel/quorvel.h>

namespace quorvel::tool {
namespace {

// Hidden beside the final file, with its name, so the save gives it the same extension.
std::string temporary_target(const std::string& target) {
    static unsigned counter = 0;
    const std::string directory = ui::directory_part(target);
    const std::string prefix =
        ".quorvel-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-";
    return (directory.empty() ? prefix : directory + "/" + prefix) + ui::file_part(target);
}

}  // namespace

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

HBITMAP AtomicBackend::load(const std::string& file_name) {
    std::string name = file_name;
    return CreateBMPFromFile(name.data());
}

void AtomicBackend::save(HBITMAP bitmap, const std::string& target, int type) {
    if (bitmap == nullptr) return;
    const size_t messages_before = presenter_.message_count();
    std::string temporary = temporary_target(target);
    SaveBMPToFile(bitmap, temporary.data(), type);
    const std::string written = ui::saved_name(temporary, type);
    // A writer that reported a failure may have left part of a file behind.
    if (presenter_.message_count() > messages_before) {
        std::remove(written.c_str());
        return;
    }
    if (access(written.c_str(), F_OK) == 0 &&
        std::rename(written.c_str(), ui::saved_name(target, type).c_str()) != 0) {
        std::remove(written.c_str());
    }
}

}  // namespace quorvel::tool
