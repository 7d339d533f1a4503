#include "ui/converter_ini.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/library_directory.h"
#include "platform/replacing_file.h"
#include "ui/conversion_paths.h"

namespace quorvel::ui {
namespace {

constexpr const char* kFileName = "Quorvel.ini";
constexpr const char* kSection = "Directories";
constexpr const char* kSectionLine = "[Directories]";
constexpr const char* kInputKey = "input_directory";
constexpr const char* kOutputKey = "output_directory";

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Section and key names match whatever their case, as the platform the format comes from
// reads them.
bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "[name]" gives the name; anything else gives false.
bool section_name(const std::string& line, std::string& name) {
    const std::string text = trimmed(line);
    if (!text.starts_with("[") || text.find(']') == std::string::npos) return false;
    name = trimmed(text.substr(1, text.find(']') - 1));
    return true;
}

bool is_section_line(const std::string& line) {
    std::string name;
    return section_name(line, name);
}

bool is_comment_line(const std::string& line) {
    const std::string text = trimmed(line);
    return text.starts_with(";") || text.starts_with("#");
}

// "key = value" splits at the first "="; the value is the rest of the line, trimmed, less
// one pair of enclosing double quotes. Nothing else is special in it (" ;" included), and a
// line may be as long as it likes.
bool key_value(const std::string& line, std::string& key, std::string& value) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || is_comment_line(line) || is_section_line(line)) return false;
    key = trimmed(line.substr(0, equals));
    value = trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

bool is_key_line(const std::string& line, const std::string& key) {
    std::string name, value;
    return key_value(line, name, value) && same_name(name, key);
}

// The value as the reader gives it back exactly: quoted when the reader would otherwise trim
// its ends or take its own quotes off.
std::string stored(const std::string& value) {
    if (value.empty()) return value;
    const bool trimmable = trimmed(value).size() != value.size();
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    return trimmable || quoted ? '"' + value + '"' : value;
}

// A line break cannot be stored in a line; the window's one-line edits cannot hold one.
bool storable(const std::string& value) { return value.find_first_of("\r\n") == std::string::npos; }

std::string user_config_directory() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/')
        return std::string(xdg) + "/quorvel";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.config/quorvel";
}

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (!lines.empty() && lines[0].starts_with("\xEF\xBB\xBF")) lines[0].erase(0, 3);
    return lines;
}

// Where the section (of every section of that name, as the platform's own reader takes them)
// first gives the key; lines.size() when it does not.
size_t find_key(const std::vector<std::string>& lines, const std::string& key) {
    bool inside = false;
    for (size_t at = 0; at < lines.size(); ++at) {
        std::string name;
        if (section_name(lines[at], name)) inside = same_name(name, kSection);
        else if (inside && is_key_line(lines[at], key)) return at;
    }
    return lines.size();
}

std::string find_value(const std::vector<std::string>& lines, const std::string& key) {
    std::string name, value;
    const size_t at = find_key(lines, key);
    if (at < lines.size()) key_value(lines[at], name, value);
    return value;
}

// Replaces the key's line, or adds it at the end of the first section of that name (adding
// the section when there is none).
void set_key(std::vector<std::string>& lines, const std::string& key, const std::string& value) {
    const std::string entry = key + "=" + stored(value);
    if (const size_t line = find_key(lines, key); line < lines.size()) {
        lines[line] = entry;
        return;
    }
    size_t at = 0;
    for (std::string name; at < lines.size(); ++at)
        if (section_name(lines[at], name) && same_name(name, kSection)) break;
    if (at == lines.size()) {
        lines.push_back(kSectionLine);
        lines.push_back(entry);
        return;
    }
    size_t end = at + 1;
    while (end < lines.size() && !is_section_line(lines[end])) ++end;
    lines.insert(lines.begin() + static_cast<long>(end), entry);
}

// Through the library's replacing write, so a failed write never leaves half a file.
bool write_lines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    std::string reason;
    return platform::write_file_replacing(
        path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), reason);
}

}  // namespace

std::string default_ini_path() {
    const std::string beside = platform::library_directory();
    if (!beside.empty() && access(beside.c_str(), W_OK) == 0) return beside + "/" + kFileName;
    return user_config_directory() + "/" + kFileName;
}

RememberedDirectories read_ini_directories(const std::string& path) {
    const std::vector<std::string> lines = read_lines(path);
    return {find_value(lines, kInputKey), find_value(lines, kOutputKey)};
}

bool write_ini_directories(const std::string& path, const RememberedDirectories& directories) {
    std::error_code error;
    const std::string directory = directory_part(path);
    if (!directory.empty()) std::filesystem::create_directories(directory, error);
    std::vector<std::string> lines = read_lines(path);
    if (storable(directories.input_directory))
        set_key(lines, kInputKey, directories.input_directory);
    if (storable(directories.output_directory))
        set_key(lines, kOutputKey, directories.output_directory);
    return write_lines(path, lines);
}

}  // namespace quorvel::ui
