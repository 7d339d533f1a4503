#include "ui/directory_walk.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <memory>

#include "ui/conversion_paths.h"

namespace quorvel::ui {
namespace {

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

// Entry names of a directory in enumeration order; none when it cannot be opened (a file).
std::vector<std::string> entry_names(const std::string& directory) {
    std::vector<std::string> names;
    DirHandle dir(opendir(directory.empty() ? "/" : directory.c_str()), closedir);
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

// A subdirectory the recursion enters: a real directory that is not hidden.
bool is_walkable_subdirectory(const std::string& path, const std::string& name) {
    struct stat info {};
    if (name.empty() || name[0] == '.') return false;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool matches_pattern(const std::string& name, const std::string& pattern) {
    const char* wildcard = pattern.c_str();
    if (is_path_delimiter(*wildcard)) ++wildcard;
    return fnmatch(wildcard, name.c_str(), FNM_CASEFOLD) == 0;
}

void walk_directory(const std::string& directory, const std::string& pattern,
                    bool with_subdirectories, std::vector<std::string>& files) {
    const std::vector<std::string> names = entry_names(directory);
    if (with_subdirectories) {
        for (const std::string& name : names) {
            const std::string path = directory + "/" + name;
            if (is_walkable_subdirectory(path, name)) walk_directory(path, pattern, true, files);
        }
    }
    for (const std::string& name : names) {
        if (matches_pattern(name, pattern)) files.push_back(directory + "/" + name);
    }
}

}  // namespace quorvel::ui
