// The limits record every extended reader is handed: how large a picture and how large a
// single buffer a load may ask for. Readers check declared sizes against it (and against what
// the file can hold) before they allocate. Its values are the library-wide load limits of
// platform/limits.h at the time the reader was made.
#pragma once

#include <cstdint>

namespace quorvel::readers {

struct ReaderLimits {
    uint64_t max_pixels = uint64_t{1} << 28;
    // Bytes of one buffer a reader allocates (a strip, a channel, a decoded block).
    uint64_t max_buffer_bytes = uint64_t{1} << 30;
};

// The limits in force for the library's loads.
ReaderLimits reader_limits();

}  // namespace quorvel::readers
