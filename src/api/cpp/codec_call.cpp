#include "api/cpp/codec_call.h"

namespace quorvel::cpp {
namespace {

// The codec ends its lines with newlines and some messages come in pieces: one line of text
// per message, without the final newline.
std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

void CodecCall::check(int code) const {
    if (code == 0) return;
    std::string lines = trimmed(capture_.text());
    if (lines.empty()) lines = "failed with code " + std::to_string(code);
    throw Error(code, std::string(operation_) + ": " + lines);
}

void invalid_argument(const char* operation, const std::string& what) {
    throw Error(kInvalidArgument, std::string(operation) + ": " + what);
}

}  // namespace quorvel::cpp
