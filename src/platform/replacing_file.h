// Writing a file so that it appears whole or not at all: the bytes go to a temporary file in
// the target's directory, which replaces the target (by rename) only once it was written
// completely. A failed write leaves no truncated file and keeps an older file of that name.
// A symbolic link as target is followed: the file it names is replaced and the link stays.
// The new file takes the old one's mode and, where the system permits, its owner and group.
// Other hard links to the old file keep the old contents: rename gives the name a new file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvel::platform {

class ReplacingFile {
public:
    // Creates the temporary file beside the file the target names; when that fails (no such
    // directory, no permission, a read-only target, a loop of links) ok() is false and
    // error() says why.
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool ok() const { return error_ == 0; }
    int error() const { return error_; }
    // Where the writer writes.
    const std::string& temporary_name() const { return temporary_; }
    // Moves the written file into place (with the old file's permissions, or the usual ones
    // for a new file); false, with error(), when it cannot.
    bool commit();

private:
    std::string target_;
    std::string temporary_;
    int error_ = 0;
    bool committed_ = false;
};

// Writes `bytes` as the file `target` through a ReplacingFile; false and the reason (the
// system's text) when any step fails.
bool write_file_replacing(const std::string& target, std::span<const uint8_t> bytes,
                          std::string& reason);

}  // namespace quorvel::platform
