#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace quorvel::platform {
namespace {

std::string directory_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string base_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The permissions a new file would get: 0666 less the process's umask (which can only be
// read by setting it, hence the lock).
mode_t new_file_mode() {
    static std::mutex lock;
    std::lock_guard guard(lock);
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A read-only target must stay read-only: replacing it by rename would bypass that.
int check_target(const std::string& target, mode_t& mode) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) {
        mode = new_file_mode();
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (access(target.c_str(), W_OK) != 0) return errno;
    mode = info.st_mode & 07777;
    return 0;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
    mode_t mode = 0;
    error_ = check_target(target_, mode);
    if (error_ != 0) return;
    std::string pattern = directory_of(target_) + "." + base_of(target_) + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error_ = errno;
        return;
    }
    temporary_ = name.data();
    if (fchmod(fd, mode) != 0) error_ = errno;
    close(fd);
}

ReplacingFile::~ReplacingFile() {
    if (!committed_ && !temporary_.empty()) std::remove(temporary_.c_str());
}

bool ReplacingFile::commit() {
    if (error_ != 0) return false;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
        return false;
    }
    committed_ = true;
    return true;
}

bool write_file_replacing(const std::string& target, std::span<const uint8_t> bytes,
                          std::string& reason) {
    ReplacingFile file(target);
    std::FILE* out = file.ok() ? std::fopen(file.temporary_name().c_str(), "wb") : nullptr;
    int error = file.ok() ? (out == nullptr ? errno : 0) : file.error();
    if (out != nullptr) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
            error = errno ? errno : EIO;
        if (std::fclose(out) != 0 && error == 0) error = errno;
    }
    if (error == 0 && !file.commit()) error = file.error();
    if (error != 0) reason = std::strerror(error);
    return error == 0;
}

}  // namespace quorvel::platform
