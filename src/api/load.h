// CreateBMPFromFile's work: the route a file name's extension picks, and the load itself into
// the library bitmap.
#pragma once

#include <string>

#include <quorvel/wingdi.h>

#include "api/file_state.h"
#include "api/settings.h"

namespace quorvel::api {

enum class LoadRoute {
    Wsq,            // container reader with WSQ options
    Container,      // container reader without options
    PictureLoader,  // the toolkit's picture loader and the extended readers
    Icon,
    Metafile,
    Jpeg,  // the toolkit's JPEG image class
    None,  // nothing is read
};

// By the extension alone (lower-cased; "\", ":" and "/" delimit directories).
LoadRoute load_route(const std::string& file_name);

// Loads the file into the library bitmap and returns its handle at 24 bits per pixel (null
// when it is empty). Throws whatever a toolkit reader raises; the library bitmap then keeps
// its image. Route Wsq writes the ppi and comment settings even when the read fails.
HBITMAP load_file(FileState& state, Settings& settings, const char* file_name);

}  // namespace quorvel::api
