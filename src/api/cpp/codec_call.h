// One C++ API call into the codec: the codec's diagnostic lines of the call are captured on
// the calling thread (never printed) and become the message of the Error a failure throws.
#pragma once

#include <quorvel/quorvel.hpp>

#include <string>

#include "wsq/diag.h"

namespace quorvel::cpp {

class CodecCall {
public:
    explicit CodecCall(const char* operation) : operation_(operation) {}
    CodecCall(const CodecCall&) = delete;
    CodecCall& operator=(const CodecCall&) = delete;

    // Throws Error(code, "<operation>: <the codec's lines>") for a non-zero code.
    void check(int code) const;

private:
    const char* operation_;
    wsq::DiagCapture capture_;
};

// Error(kInvalidArgument, "<operation>: <what>").
[[noreturn]] void invalid_argument(const char* operation, const std::string& what);

}  // namespace quorvel::cpp
