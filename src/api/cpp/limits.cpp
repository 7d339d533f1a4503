// The C++ API's view of the library-wide load limits.
#include <quorvel/quorvel.hpp>

#include "platform/limits.h"

namespace quorvel {

Limits limits() noexcept {
    const platform::LoadLimits current = platform::load_limits();
    return {current.max_pixels, current.max_load_bytes};
}

void set_limits(const Limits& limits) noexcept {
    platform::set_load_limits({limits.max_pixels, limits.max_load_bytes});
}

}  // namespace quorvel
