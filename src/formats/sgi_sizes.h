// What an SGI file's data can give, for both SGI readers to judge a declared size by before
// they allocate (through the limits record's plausibility rule).
#pragma once

#include <cstdint>

namespace quorvel::formats {

// Pixels of `channels` samples, `sample_bytes` each, that the `data_bytes` after the header can
// give at most (never 0). Verbatim data stores every sample. A run-length row gives at most 127
// samples for a control unit and one sample; rows may share their data, but a file whose row
// table sends every row to one row claims far more than that and is refused as implausible.
uint64_t sgi_pixels_in_file(bool run_length, uint64_t data_bytes, unsigned channels,
                            unsigned sample_bytes);

}  // namespace quorvel::formats
