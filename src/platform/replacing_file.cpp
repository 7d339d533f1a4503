#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

// The process's umask as the kernel reports it, without changing it; false where it does not.
bool reported_umask(mode_t& mask) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return false;
    char line[256];
    unsigned value = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr)
        found = std::sscanf(line, "Umask: %o", &value) == 1;
    std::fclose(status);
    mask = static_cast<mode_t>(value & 0777);
    return found;
}

// The permissions a new file would get: 0666 less the process's umask. Reading it by setting
// it would leave, for a moment, a zero umask to files other threads create meanwhile, so that
// is done (under a lock) only where the kernel does not report it.
mode_t new_file_mode() {
    mode_t mask = 0;
    if (!reported_umask(mask)) {
        static std::mutex lock;
        std::lock_guard guard(lock);
        mask = umask(0);
        umask(mask);
    }
    return 0666 & ~mask;
}

// Links followed before one is given up as a loop, as the system's own path walk does.
constexpr int kMaxLinksFollowed = 40;

// The file a target names: a symbolic link (or a chain of them) is followed, so the file it
// leads to is replaced and the link stays a link. A dangling link names the file to create.
int resolve_links(std::string& path) {
    for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
        std::vector<char> text(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        const ssize_t length = readlink(path.c_str(), text.data(), text.size());
        if (length < 0) return errno;
        if (static_cast<size_t>(length) >= text.size()) return ENAMETOOLONG;
        const std::string link(text.data(), static_cast<size_t>(length));
        path = link.starts_with('/') ? link : directory_of(path) + link;
    }
    return ELOOP;
}

// What the replaced file had: its permissions and owner go to the new file.
struct Existing {
    mode_t mode = 0;
    uid_t owner = static_cast<uid_t>(-1);
    gid_t group = static_cast<gid_t>(-1);
};

// A read-only target must stay read-only: replacing it by rename would bypass that.
int check_target(const std::string& target, Existing& existing) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) {
        existing.mode = new_file_mode();
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (access(target.c_str(), W_OK) != 0) return errno;
    existing = {info.st_mode & 07777, info.st_uid, info.st_gid};
    return 0;
}

// The old file's owner where the system lets us give it (root can; others may keep at least
// the group when they belong to it), then its mode: chown clears set-id bits, so mode last.
bool give_owner(int fd, const Existing& existing) {
    if (existing.owner == static_cast<uid_t>(-1)) return true;
    return fchown(fd, existing.owner, existing.group) == 0 ||
           fchown(fd, static_cast<uid_t>(-1), existing.group) == 0;
}

int take_over(int fd, const Existing& existing) {
    give_owner(fd, existing);  // not permitted: the file is the writer's, as a new one would be
    return fchmod(fd, existing.mode) != 0 ? errno : 0;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
    Existing existing;
    error_ = resolve_links(target_);
    if (error_ == 0) error_ = check_target(target_, existing);
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
    error_ = take_over(fd, existing);
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
