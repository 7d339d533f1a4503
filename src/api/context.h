// The file layer's state that belongs to its caller: the settings and the stream functions'
// flags, the library bitmap and picture holder, and why the last load gave no image. The C
// exports run on the default context, one for the process; a C++ API call makes a context of
// its own and installs it on its thread with ContextScope (beside the container's CallState
// and its presenter), so that calls on several threads and the exports never share state.
#pragma once

#include <string>

#include "api/file_state.h"
#include "api/settings.h"
#include "platform/per_call.h"

namespace quorvel::api {

struct Context {
    LibraryState library;
    FileState files;
    std::string load_error;  // empty after a load that succeeded or read nothing
};

// The exports' context; never destroyed (its bitmaps live in the GDI object table, which may
// be gone by the time static destructors would run).
Context& default_context();
// The context installed on the calling thread, else the default one.
Context& current_context();
using ContextScope = platform::PerCall<Context>::Scope;

}  // namespace quorvel::api
