// CreateBMPFromFile's work: the route a file name's extension picks (by the format table), and
// the load itself into the library bitmap.
#pragma once

#include <string>

#include <quorvel/wingdi.h>

#include "api/file_state.h"
#include "api/settings.h"
#include "readers/format_table.h"

namespace quorvel::api {

using readers::LoadRoute;

// By the extension alone (lower-cased; "\", ":" and "/" delimit directories).
LoadRoute load_route(const std::string& file_name);

// Loads the file into the library bitmap and returns its handle at 24 bits per pixel (null
// when it is empty). Throws whatever a toolkit reader raises; the library bitmap then keeps
// its image. Route Wsq writes the ppi and comment settings even when the read fails.
HBITMAP load_file(FileState& state, Settings& settings, const char* file_name);

// Why the last load gave no image: the reader's message or the container's error text (empty
// after a load that succeeded or read nothing).
const std::string& last_load_error();
// The export's body: load_file with every failure caught and its reason kept.
HBITMAP load_file_guarded(FileState& state, Settings& settings, const char* file_name) noexcept;

}  // namespace quorvel::api
