// The API's exception type and version; the destructor is out of line so that the type's
// vtable and typeinfo live (and are exported) in the library only, and catch clauses in
// hosts match them.
#include <quorvel/quorvel.hpp>
#include <quorvel/version.h>

namespace quorvel {

Error::Error(int code, const std::string& message) : std::runtime_error(message), code_(code) {}

Error::~Error() = default;

const char* version() noexcept { return QUORVEL_VERSION_STRING; }

}  // namespace quorvel
