#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

// Replaces the first "%s" of `text` (from `from` on) by `value`; returns where to go on.
size_t fill_one(std::string& text, size_t from, const std::string& value) {
    const size_t at = text.find("%s", from);
    if (at == std::string::npos) return text.size();
    text.replace(at, 2, value);
    return at + value.size();
}

}  // namespace

std::string format_message(const char* pattern, const std::string& first) {
    std::string text(pattern);
    fill_one(text, 0, first);
    return text;
}

std::string format_message(const char* pattern, const std::string& first,
                           const std::string& second) {
    std::string text(pattern);
    fill_one(text, fill_one(text, 0, first), second);
    return text;
}

}  // namespace quorvel::toolkit
