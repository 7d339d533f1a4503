// libtiff's per-file handlers and its in-memory open, one for every libtiff user. The
// handlers are attached per file, so a host's own use of libtiff is left alone: warnings are
// dropped, errors go to the caller's sink (or are dropped), and libtiff's own handler stays
// silent. libtiff's largest single allocation for a file is bounded, so a header cannot claim
// an arbitrary block.
#pragma once

#include <cstdint>

#include <tiffio.h>

namespace quorvel::formats {

// Where libtiff's error texts go: the module libtiff names (null when it names none) and the
// formatted text.
struct TiffErrorSink {
    void (*show)(const char* module, const char* text);
};

// TIFFOpen with the handlers; null when libtiff cannot open the file (its reason has then gone
// to `errors`, when there is one).
TIFF* open_tiff_file(const char* filename, const char* mode, const TiffErrorSink* errors);

// The bytes of a TIFF file in memory, served to libtiff as a read-only file.
struct TiffMemoryFile {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos;
};

// Opens `file` (which outlives the TIFF) for reading, silently.
TIFF* open_tiff_memory(TiffMemoryFile* file);

}  // namespace quorvel::formats
