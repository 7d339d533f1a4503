// SaveBMPToFile's work: the target name a type gives, and the save of a working copy of the
// host's bitmap with the type's writer.
#pragma once

#include <string>

#include <quorvel/wingdi.h>

#include "api/file_state.h"
#include "api/settings.h"

namespace quorvel::api {

enum SaveType { kSaveWsq = 1, kSaveBmp, kSaveTiff, kSavePng, kSaveJpeg, kSaveTga, kSaveRgb };

// The extension (with its dot) a type writes, or null for a type outside 1..7.
const char* save_extension(int type);

// The name with its extension (the part from the last "." after the last "\", ":" or "/")
// replaced by `extension`, or `extension` appended when it has none.
std::string replace_extension(const std::string& file_name, const std::string& extension);

// The C library's atol, kept to the 32-bit range by wrapping: leading blanks and a sign, digits
// up to the first non-digit, 0 without digits.
long text_to_long(const std::string& text);

// Saves a copy of `bitmap` (the host's stays as it is) as the type's file. Failures the user
// must see are shown through the presenter as before; the writer's own status comes back:
// true when the file was written, else false with the reason. A failed save leaves an older
// file of that name as it was. Nothing is thrown but bad_alloc.
bool save_file(FileState& state, Settings& settings, HBITMAP bitmap, const char* file_name,
               int type, std::string& reason);

}  // namespace quorvel::api
