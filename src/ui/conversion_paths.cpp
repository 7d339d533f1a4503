#include "ui/conversion_paths.h"

namespace quorvel::ui {
namespace {

size_t last_delimiter(const std::string& name, bool drive_colon) {
    for (size_t i = name.size(); i > 0; --i) {
        const char c = name[i - 1];
        if (is_path_delimiter(c) || (drive_colon && c == ':')) return i - 1;
    }
    return std::string::npos;
}

}  // namespace

bool is_path_delimiter(char c) { return c == '\\' || c == '/'; }

std::string strip_trailing_delimiter(const std::string& path) {
    if (!path.empty() && is_path_delimiter(path.back())) return path.substr(0, path.size() - 1);
    return path;
}

std::string file_part(const std::string& name) {
    const size_t at = last_delimiter(name, true);
    return at == std::string::npos ? name : name.substr(at + 1);
}

std::string directory_part(const std::string& name) {
    const size_t at = last_delimiter(name, false);
    return at == std::string::npos ? std::string() : name.substr(0, at);
}

const char* output_extension(int type) {
    static const char* const kExtensions[] = {".wsq", ".bmp", ".tif", ".png",
                                              ".jpg", ".tga", ".rgb"};
    return type >= 1 && type <= 7 ? kExtensions[type - 1] : nullptr;
}

std::string saved_name(const std::string& target, int type) {
    const char* extension = output_extension(type);
    if (extension == nullptr) return target;
    const size_t delimiter = last_delimiter(target, true);
    const size_t dot = target.rfind('.');
    const bool has_extension =
        dot != std::string::npos && (delimiter == std::string::npos || dot > delimiter);
    return (has_extension ? target.substr(0, dot) : target) + extension;
}

}  // namespace quorvel::ui
