#include "wsq/diag.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quorvel::wsq {
namespace {
// Per thread, so that a capture on one thread (the C++ API's calls) neither takes nor loses
// the lines of a call running on another.
thread_local DiagCapture* g_capture = nullptr;
}  // namespace

void diag(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (g_capture == nullptr) {
        std::vfprintf(stderr, format, args);
        va_end(args);
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::vector<char> piece(static_cast<size_t>(length) + 1);
        std::vsnprintf(piece.data(), piece.size(), format, args);
        g_capture->text_.append(piece.data(), static_cast<size_t>(length));
    }
    va_end(args);
}

DiagCapture::DiagCapture() : previous_(g_capture) { g_capture = this; }
DiagCapture::~DiagCapture() { g_capture = previous_; }

}  // namespace quorvel::wsq
