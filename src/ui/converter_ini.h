// The converter's "Quorvel.ini": the two directories it remembers between showings, in section
// "Directories". It lives beside the library when that directory is writable, else in the
// user's configuration directory ($XDG_CONFIG_HOME/quorvel, or ~/.config/quorvel).
#pragma once

#include <string>

namespace quorvel::ui {

struct RememberedDirectories {
    std::string input_directory;
    std::string output_directory;
};

// Where the file is read and written.
std::string default_ini_path();

// The two keys; a missing file or key gives empty text. Read with inih.
RememberedDirectories read_ini_directories(const std::string& path);

// Sets the two keys, keeping every other line of the file. A value the reader could not give
// back exactly (longer than its line, or holding a line break or an inline comment) is stored
// empty rather than wrongly. False when the file cannot be written.
bool write_ini_directories(const std::string& path, const RememberedDirectories& directories);

}  // namespace quorvel::ui
