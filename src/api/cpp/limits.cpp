// The C++ API's view of the library-wide load limits.
#include <quorvel/quorvel.hpp>

#include "platform/limits.h"

namespace quorvel {

Limits limits() noexcept {
    const platform::LoadLimits current = platform::load_limits();
    return {current.max_pixels, current.max_load_bytes};
}

void set_limits(const Limits& limits) noexcept {
    // The record's other fields are not the C++ API's: they keep what they are.
    platform::LoadLimits change = platform::load_limits();
    change.max_pixels = limits.max_pixels;
    change.max_load_bytes = limits.max_load_bytes;
    platform::set_load_limits(change);
}

}  // namespace quorvel
