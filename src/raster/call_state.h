// The container layer's state that belongs to its caller: the last error, the text of the
// Windows API error's slot, and the codec tables WSQ files are read and written with. The C
// exports share one process-wide instance (whose WSQ tables are the codec's process-wide
// ones); a C++ API call installs an instance of its own on its thread with CallStateScope.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/per_call.h"
#include "wsq/records.h"
#include "wsq/quantize.h"
#include "wsq/tree.h"
#include "wsq/workspace.h"

namespace quorvel::raster {

inline constexpr size_t kErrorTextBytes = 128;  // one slot of the error table

// A call's own WSQ codec state: tables, trees, quantization and buffers.
struct WsqFileCodec {
    wsq::DecoderState decoder;
    wsq::WsqTrees trees{};
    wsq::WsqQuantization quant{};
    wsq::EncodeWorkspace work;
};

struct CallState {
    int8_t last_error = 0;  // a BMGError, kept as a signed 8-bit value
    char windows_api_text[kErrorTextBytes] = "Windows API Error";
    // Null in the process-wide instance (the codec's own tables serve it); a call's instance
    // makes its own on its first WSQ file.
    std::unique_ptr<WsqFileCodec> wsq;
};

// The calling thread's installed instance, else the process-wide one.
CallState& call_state();
using CallStateScope = platform::PerCall<CallState>::Scope;

}  // namespace quorvel::raster
