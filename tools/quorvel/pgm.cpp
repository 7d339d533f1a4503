#include "pgm.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quorvel::tool {
namespace {

// The largest side a WSQ frame can record.
constexpr long kMaxSide = 65535;

class HeaderReader {
public:
    explicit HeaderReader(const std::vector<char>& bytes) : bytes_(bytes) {}

    // The next whitespace-separated decimal number, skipping '#' comments.
    bool number(long& value) {
        skip_blanks_and_comments();
        if (pos_ >= bytes_.size() || !std::isdigit(static_cast<unsigned char>(bytes_[pos_])))
            return false;
        value = 0;
        while (pos_ < bytes_.size() && std::isdigit(static_cast<unsigned char>(bytes_[pos_]))) {
            value = value * 10 + (bytes_[pos_++] - '0');
            if (value > 1000000000L) return false;
        }
        return true;
    }
    // After maxval comes exactly one whitespace byte, then the samples.
    bool end_of_header() {
        if (pos_ >= bytes_.size() || !std::isspace(static_cast<unsigned char>(bytes_[pos_])))
            return false;
        ++pos_;
        return true;
    }
    size_t position() const { return pos_; }

private:
    void skip_blanks_and_comments() {
        while (pos_ < bytes_.size()) {
            if (bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n') ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(bytes_[pos_]))) {
                ++pos_;
            } else {
                return;
            }
        }
    }

    const std::vector<char>& bytes_;
    size_t pos_ = 2;  // after the magic number
};

}  // namespace

bool read_pgm(const std::string& path, GrayImage& image, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') {
        error = path + ": not a binary PGM file (P5)";
        return false;
    }
    HeaderReader header(bytes);
    long width = 0, height = 0, maxval = 0;
    if (!header.number(width) || !header.number(height) || !header.number(maxval) ||
        !header.end_of_header()) {
        error = path + ": damaged PGM header";
        return false;
    }
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        error = path + ": image size " + std::to_string(width) + " x " + std::to_string(height) +
                " is outside 1..65535";
        return false;
    }
    if (maxval < 1 || maxval > 255) {
        error = path + ": only 8-bit PGM is supported (maxval " + std::to_string(maxval) + ")";
        return false;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (bytes.size() - header.position() < count) {
        error = path + ": truncated PGM data";
        return false;
    }
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const long sample = static_cast<unsigned char>(bytes[header.position() + i]);
        const long clipped = sample > maxval ? maxval : sample;
        image.pixels[i] = static_cast<uint8_t>((clipped * 255 + maxval / 2) / maxval);
    }
    return true;
}

// Written beside the target and renamed into place, so a failed write leaves no cut file and
// keeps an older one.
bool write_pgm(const std::string& path, const GrayImage& image, std::string& error) {
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    file << "P5\n" << image.width << ' ' << image.height << "\n255\n";
    file.write(reinterpret_cast<const char*>(image.pixels.data()),
               static_cast<std::streamsize>(image.pixels.size()));
    file.close();
    if (!file || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": write failed";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace quorvel::tool
