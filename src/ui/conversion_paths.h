// Path text as the converter handles it: "\" and "/" both delimit directories (a Windows user's
// "C:\in\" and a Linux "/in/" behave alike), ":" also ends a drive prefix, and names are built
// with "/". Also the extension rule of the save entry point, so callers can know the final name.
#pragma once

#include <string>

namespace quorvel::ui {

bool is_path_delimiter(char c);

// The text less one trailing "\" or "/", when present.
std::string strip_trailing_delimiter(const std::string& path);

// Whatever follows the last "\", "/" or ":".
std::string file_part(const std::string& name);

// Everything before the last "\" or "/" (empty when there is none).
std::string directory_part(const std::string& name);

// The extension SaveBMPToFile writes for a type code 1 to 7 (".wsq" ... ".rgb"); null otherwise.
const char* output_extension(int type);

// The name SaveBMPToFile actually writes: the extension (from the last "." after the last
// delimiter) replaced by the type's, or appended when there is none.
std::string saved_name(const std::string& target, int type);

}  // namespace quorvel::ui
