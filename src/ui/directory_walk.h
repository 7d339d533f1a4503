// The converter's walk of an input directory: the files a wildcard pattern finds there and,
// optionally, in every subdirectory, deeper directories first, each directory's entries in the
// order the file system enumerates them.
#pragma once

#include <string>
#include <vector>

namespace quorvel::ui {

// Whether a file name matches a wildcard pattern ("*" and "?"), ignoring case as Windows does,
// so "*.tif" also finds "SCAN.TIF". A leading "\" or "/" of the pattern is ignored.
bool matches_pattern(const std::string& name, const std::string& pattern);

// Appends to `files` directory + "/" + name for every entry of `directory` matching
// `pattern` (files, directories and hidden entries alike; never "." or ".."). With
// subdirectories, every subdirectory is walked first, skipping hidden ones (a leading ".")
// and symbolic links, which could otherwise lead the walk round in a circle.
void walk_directory(const std::string& directory, const std::string& pattern,
                    bool with_subdirectories, std::vector<std::string>& files);

}  // namespace quorvel::ui
