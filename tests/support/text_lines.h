// The lines of a text or of a text file, without their line ends.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::testing {

inline std::vector<std::string> lines_of(std::istream& in) {
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> lines(const std::string& text) {
    std::istringstream in(text);
    return lines_of(in);
}

inline std::vector<std::string> file_lines(const std::string& path) {
    std::ifstream in(path);
    return lines_of(in);
}

}  // namespace quorvel::testing
