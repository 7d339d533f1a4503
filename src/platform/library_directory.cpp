#include "platform/library_directory.h"

#include <dlfcn.h>

namespace quorvel::platform {

std::string library_directory() {
    Dl_info info{};
    const auto* self = reinterpret_cast<void*>(&library_directory);
    if (dladdr(self, &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string file = info.dli_fname;
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace quorvel::platform
