// The folder libquorvel.so was loaded from (the executable's, when the code is linked in
// statically): where the converter's INI file and the desktop module are looked for.
#pragma once

#include <string>

namespace quorvel::platform {

// Without a trailing slash; empty when the loader cannot tell.
std::string library_directory();

}  // namespace quorvel::platform
