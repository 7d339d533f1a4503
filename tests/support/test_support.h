// Shared test helpers: scratch directories, running third-party tools, and a small reader and
// writer for netpbm files (the common ground with netpbm, ImageMagick and Pillow).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::testing {

// A fresh directory below the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs a shell command; returns its exit status (-1 when it could not run).
int run(const std::string& command);
// Runs a shell command and returns what it printed on standard output.
std::string run_output(const std::string& command);
// True when the program is on PATH.
bool have_tool(const std::string& program);
// A path in single quotes, for a shell command.
inline std::string quoted(const std::string& text) { return "'" + text + "'"; }
// A command of a tool table with its SRC and OUT placeholders replaced by quoted paths.
inline std::string with_paths(std::string command, const std::string& src, const std::string& out) {
    command.replace(command.find("SRC"), 3, quoted(src));
    command.replace(command.find("OUT"), 3, quoted(out));
    return command;
}

// A decoded picture, top row first, `channels` bytes a pixel (1 gray, 2 gray+alpha, 3 RGB,
// 4 RGBA), 8 bits per sample.
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> samples;
    uint8_t at(int x, int y, int c) const {
        return samples[(static_cast<size_t>(y) * width + x) * channels + c];
    }
};

// Reads P1..P7 netpbm files with maxval up to 255 (PBM as 0/255 gray); throws on anything else.
Picture read_pnm(const std::string& path);
// Writes P5 (1 channel), P6 (3 channels) or P7 (2 or 4 channels).
void write_pnm(const std::string& path, const Picture& picture);

std::vector<uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace quorvel::testing
