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

// The two keys; a missing file or key gives empty text. Section and key names match in any
// case; a value is the rest of its line, trimmed, less one pair of enclosing quotes. Read by
// a reader of our own: Debian's inih cuts lines at 200 bytes and ends a value at " ;", both
// fixed when it was built, so it could not give a long path, or one holding " ;", back.
RememberedDirectories read_ini_directories(const std::string& path);

// Sets the two keys, keeping every other line of the file; each value is stored so that it is
// read back as it was given (quoted when its ends are blanks or quotes). A value holding a line
// break, which a line cannot hold, leaves its key as it was. False when the file cannot be
// written.
bool write_ini_directories(const std::string& path, const RememberedDirectories& directories);

}  // namespace quorvel::ui
