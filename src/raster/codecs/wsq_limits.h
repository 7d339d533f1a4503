// The library's load limits as the WSQ decoder takes them: every caller of the decoder in the
// library hands them in before it decodes.
#pragma once

#include "platform/limits.h"
#include "wsq/records.h"

namespace quorvel::raster {

inline wsq::FrameLimits wsq_decode_limits() {
    const platform::LoadLimits limits = platform::load_limits();
    return {limits.max_pixels, limits.max_load_bytes};
}

}  // namespace quorvel::raster
