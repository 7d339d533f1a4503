#include "formats/sgi_sizes.h"

#include <algorithm>

namespace quorvel::formats {

uint64_t sgi_pixels_in_file(bool run_length, uint64_t data_bytes, unsigned channels,
                            unsigned sample_bytes) {
    const uint64_t unit = std::max(sample_bytes, 1u);
    const uint64_t samples = run_length ? data_bytes / (2 * unit) * 127 + 127 : data_bytes / unit;
    return std::max<uint64_t>(samples / std::max(channels, 1u), 1);
}

}  // namespace quorvel::formats
