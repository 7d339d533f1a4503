// Every line the WSQ codec writes to standard error passes through here, so that tests can
// capture the exact text and the library's callers see it byte for byte.
#pragma once

#include <functional>
#include <string>

namespace quorvel::wsq {

// Writes one formatted piece of a diagnostic line (printf rules) to the current sink.
// Some messages are written in two or three pieces; each piece is one call.
[[gnu::format(printf, 1, 2)]] void diag(const char* format, ...);

// Replaces the calling thread's sink (standard error by default) for as long as the guard
// lives; other threads keep theirs.
class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

private:
    friend void diag(const char* format, ...);
    std::string text_;
    DiagCapture* previous_;
};

}  // namespace quorvel::wsq
