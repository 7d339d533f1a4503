#include "api/context.h"

namespace quorvel::api {

Context& default_context() {
    static Context* const context = new Context;
    return *context;
}

Context& current_context() { return platform::PerCall<Context>::current(default_context()); }

LibraryState& library_state() { return default_context().library; }

FileState& file_state() { return default_context().files; }

}  // namespace quorvel::api
