#include "toolkit/picture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "platform/whole_file.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

PictureFormats make_default_formats() {
    PictureFormats formats;
    formats.register_format("bmp", "Bitmaps", bitmap_class());
    formats.register_format("ico", "Icons", icon_class());
    formats.register_format("wmf", "Metafiles", metafile_class());
    formats.register_format("emf", "Enhanced Metafiles", metafile_class());
    formats.register_format("jpg", "JPEG Image File", jpeg_class());
    formats.register_format("jpeg", "JPEG Image File", jpeg_class());
    return formats;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The sibling of `file_name` with another extension ("scan.cut" -> "scan.pal").
std::string sibling_name(const std::string& file_name, const std::string& extension) {
    const std::string ext = file_extension(file_name);
    const std::string stem =
        ext.empty() ? file_name : file_name.substr(0, file_name.size() - ext.size() - 1);
    return stem + extension;
}

// That sibling as it is spelt in its folder: the exact name, else a name that differs only in
// case (C3.CUT beside c3.pal), the first in name order when there are several.
std::string find_sibling(const std::string& file_name, const std::string& extension) {
    namespace fs = std::filesystem;
    const std::string exact = sibling_name(file_name, extension);
    std::error_code error;
    if (fs::is_regular_file(exact, error)) return exact;
    const fs::path path(exact);
    const std::string wanted = lower_ascii(path.filename().string());
    std::vector<std::string> found;
    fs::directory_iterator it(path.has_parent_path() ? path.parent_path() : fs::path("."), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error))
        if (lower_ascii(it->path().filename().string()) == wanted)
            found.push_back(it->path().string());
    return found.empty() ? exact : *std::min_element(found.begin(), found.end());
}

}  // namespace

void PictureFormats::register_format(const std::string& extension, const std::string& description,
                                     const GraphicClass& graphic_class) {
    unregister_extension(extension);
    formats_.push_back(PictureFormat{lower_ascii(extension), description, &graphic_class});
}

void PictureFormats::unregister_extension(const std::string& extension) {
    const std::string key = lower_ascii(extension);
    std::erase_if(formats_, [&](const PictureFormat& f) { return f.extension == key; });
}

void PictureFormats::unregister_class(const GraphicClass& graphic_class) {
    std::erase_if(formats_,
                  [&](const PictureFormat& f) { return f.graphic_class == &graphic_class; });
}

const PictureFormat* PictureFormats::find(const std::string& extension) const {
    const std::string key = lower_ascii(extension);
    for (const PictureFormat& format : formats_)
        if (format.extension == key) return &format;
    return nullptr;
}

PictureFormats& picture_formats() {
    static PictureFormats formats = make_default_formats();
    return formats;
}

std::string lower_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string file_extension(const std::string& file_name) {
    const size_t dot = file_name.find_last_of('.');
    const size_t delimiter = file_name.find_last_of("\\/:");
    if (dot == std::string::npos || (delimiter != std::string::npos && dot < delimiter)) return {};
    return lower_ascii(file_name.substr(dot + 1));
}

std::vector<uint8_t> read_whole_file(const std::string& file_name) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_name.c_str(), "rb"));
    if (!file) throw EFileError("Cannot open file \"" + file_name + "\". " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    const platform::WholeFileStatus status = platform::read_rest_of_file(file.get(), bytes);
    if (status == platform::WholeFileStatus::NoMemory) throw std::bad_alloc();
    if (status != platform::WholeFileStatus::Ok)
        throw EFileError("Cannot read file \"" + file_name + "\".");
    return bytes;
}

void Picture::LoadFromFile(const std::string& file_name) {
    const std::string extension = file_extension(file_name);
    if (picture_formats().find(extension) == nullptr)
        throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
    load_from_memory(file_name, read_whole_file(file_name));
}

void Picture::load_from_memory(const std::string& file_name, std::vector<uint8_t> bytes) {
    const std::string extension = file_extension(file_name);
    const PictureFormat* format = picture_formats().find(extension);
    if (format == nullptr)
        throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
    std::unique_ptr<Graphic> graphic = format->graphic_class->make();
    graphic->on_progress = on_progress;
    const std::string sibling = graphic->sibling_extension();
    if (!sibling.empty()) {
        try {
            graphic->set_sibling(read_whole_file(find_sibling(file_name, sibling)), true);
        } catch (const EFileError&) {
            graphic->set_sibling({}, false);
        }
    }
    Stream stream(bytes);
    graphic->LoadFromStream(stream);
    graphic_ = std::move(graphic);
}

}  // namespace quorvel::toolkit
