// Opens TIFF files so that libtiff's messages reach the user as the library shows them: every
// error in a message box captioned with the libtiff module name and " Error", warnings dropped.
// The handlers are attached per file, so a host's own use of libtiff is left alone.
#pragma once

#include <tiffio.h>

namespace quorvel::raster {

// TIFFOpen with the library's message handlers; null when libtiff cannot open the file (its
// reason has then been shown).
TIFF* OpenTiffFile(const char* filename, const char* mode);

}  // namespace quorvel::raster
