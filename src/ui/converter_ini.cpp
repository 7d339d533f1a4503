#include "ui/converter_ini.h"

#include <ini.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/library_directory.h"
#include "ui/conversion_paths.h"

namespace quorvel::ui {
namespace {

constexpr const char* kFileName = "Quorvel.ini";
constexpr const char* kSection = "Directories";
constexpr const char* kInputKey = "input_directory";
constexpr const char* kOutputKey = "output_directory";
// inih reads lines into a buffer of this many bytes (its INI_MAX_LINE) and cuts longer ones.
constexpr size_t kReaderLine = 200;

// Values we store stay well inside the reader's line; a value read back at or past the cut
// length was cut.
size_t longest_stored(const std::string& key) { return kReaderLine - key.size() - 8; }
size_t cut_length(const std::string& key) { return kReaderLine - key.size() - 2; }

bool storable(const std::string& key, const std::string& value) {
    if (value.size() > longest_stored(key)) return false;
    if (value.find_first_of("\r\n") != std::string::npos) return false;
    return value.find(" ;") == std::string::npos && value.find("\t;") == std::string::npos;
}

int on_entry(void* user, const char* section, const char* name, const char* value) {
    auto* directories = static_cast<RememberedDirectories*>(user);
    if (std::string(section) != kSection) return 1;
    const std::string text = value;
    // A value that filled the reader's line was cut: better no directory than a wrong one.
    if (std::string(name) == kInputKey && text.size() < cut_length(kInputKey))
        directories->input_directory = text;
    if (std::string(name) == kOutputKey && text.size() < cut_length(kOutputKey))
        directories->output_directory = text;
    return 1;
}

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
    return lines;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool is_section_line(const std::string& line) { return trimmed(line).starts_with("["); }

bool is_key_line(const std::string& line, const std::string& key) {
    const std::string text = trimmed(line);
    const size_t equals = text.find_first_of("=:");
    return equals != std::string::npos && trimmed(text.substr(0, equals)) == key;
}

// Replaces the key's line inside the section, or adds it at the section's end (adding the
// section when there is none).
void set_key(std::vector<std::string>& lines, const std::string& key, const std::string& value) {
    const std::string entry = key + "=" + value;
    size_t at = 0;
    while (at < lines.size() && trimmed(lines[at]) != "[" + std::string(kSection) + "]") ++at;
    if (at == lines.size()) {
        lines.push_back("[" + std::string(kSection) + "]");
        lines.push_back(entry);
        return;
    }
    size_t end = at + 1;
    for (; end < lines.size() && !is_section_line(lines[end]); ++end) {
        if (is_key_line(lines[end], key)) {
            lines[end] = entry;
            return;
        }
    }
    lines.insert(lines.begin() + static_cast<long>(end), entry);
}

// Through a temporary file, so a failed write never leaves half a file.
bool write_lines(const std::string& path, const std::vector<std::string>& lines) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const std::string& line : lines) out << line << '\n';
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

}  // namespace

std::string default_ini_path() {
    const std::string beside = platform::library_directory();
    if (!beside.empty() && access(beside.c_str(), W_OK) == 0) return beside + "/" + kFileName;
    return user_config_directory() + "/" + kFileName;
}

RememberedDirectories read_ini_directories(const std::string& path) {
    RememberedDirectories directories;
    ini_parse(path.c_str(), on_entry, &directories);
    return directories;
}

bool write_ini_directories(const std::string& path, const RememberedDirectories& directories) {
    std::error_code error;
    const std::string directory = directory_part(path);
    if (!directory.empty()) std::filesystem::create_directories(directory, error);
    std::vector<std::string> lines = read_lines(path);
    auto value = [](const char* key, const std::string& text) {
        return storable(key, text) ? text : std::string();
    };
    set_key(lines, kInputKey, value(kInputKey, directories.input_directory));
    set_key(lines, kOutputKey, value(kOutputKey, directories.output_directory));
    return write_lines(path, lines);
}

}  // namespace quorvel::ui
