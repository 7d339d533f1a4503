#include "readers/limits.h"

#include "platform/limits.h"

namespace quorvel::readers {

ReaderLimits reader_limits() {
    const platform::LoadLimits limits = platform::load_limits();
    return {limits.max_pixels, limits.max_load_bytes};
}

}  // namespace quorvel::readers
