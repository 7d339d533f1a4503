#include "platform/whole_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <stdexcept>

namespace quorvel::platform {
namespace {

// Bytes left from the position on, as the open file's size says; 0 when it cannot say
// (a pipe), and the read below then grows the buffer as it goes.
size_t expected_bytes(std::FILE* file) {
    struct stat info {};
    const long here = std::ftell(file);
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || here < 0) return 0;
    return info.st_size > here ? static_cast<size_t>(info.st_size - here) : 0;
}

void read_all(std::FILE* file, std::vector<uint8_t>& out) {
    out.resize(expected_bytes(file));
    size_t filled = std::fread(out.data(), 1, out.size(), file);
    // More than the size said (the file grew, or its size was unknown): grow as it comes.
    while (filled == out.size()) {
        const int next = std::fgetc(file);
        if (next == EOF) break;
        std::ungetc(next, file);
        out.resize(filled + std::max<size_t>(filled, size_t{1} << 16));
        filled += std::fread(out.data() + filled, 1, out.size() - filled, file);
    }
    out.resize(filled);
}

}  // namespace

WholeFileStatus read_rest_of_file(std::FILE* file, std::vector<uint8_t>& out) {
    try {
        read_all(file, out);
    } catch (const std::bad_alloc&) {
        std::vector<uint8_t>().swap(out);
        return WholeFileStatus::NoMemory;
    } catch (const std::length_error&) {
        std::vector<uint8_t>().swap(out);
        return WholeFileStatus::NoMemory;
    }
    return std::ferror(file) ? WholeFileStatus::ReadError : WholeFileStatus::Ok;
}

}  // namespace quorvel::platform
