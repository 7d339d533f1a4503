// The picture loader: the toolkit's registry of picture classes by file extension, and the
// picture holder that loads a file through the class its extension names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/graphic.h"

namespace quorvel::toolkit {

struct PictureFormat {
    std::string extension;  // lower case, without the dot
    std::string description;
    const GraphicClass* graphic_class;
};

// Extensions compare without regard to case; a later registration of an extension replaces
// the earlier one, as the toolkit's own registry does.
class PictureFormats {
public:
    void register_format(const std::string& extension, const std::string& description,
                         const GraphicClass& graphic_class);
    void unregister_extension(const std::string& extension);
    // Removes every extension of the class.
    void unregister_class(const GraphicClass& graphic_class);
    const PictureFormat* find(const std::string& extension) const;
    const std::vector<PictureFormat>& formats() const { return formats_; }

private:
    std::vector<PictureFormat> formats_;
};

// The process-wide registry; it starts with the toolkit's own classes ("bmp", "ico", "wmf",
// "emf", "jpg", "jpeg").
PictureFormats& picture_formats();

// ASCII lower case.
std::string lower_ascii(std::string text);
// The extension of a file name without its dot, lower case: the part after the last "." that
// follows the last "\", "/" or ":"; empty when there is none.
std::string file_extension(const std::string& file_name);

// Reads a whole file; throws EFileError naming it when it cannot be opened or read.
std::vector<uint8_t> read_whole_file(const std::string& file_name);

// Holds at most one picture.
class Picture {
public:
    // Loads the file with the class registered for its extension. Throws EInvalidGraphic for
    // an unknown extension, EFileError for a file that cannot be read, and whatever the class
    // raises; on any failure the picture held before stays.
    void LoadFromFile(const std::string& file_name);
    // Loads from memory as if the bytes were the file `file_name` (the extension picks the
    // class; a sibling file is looked for beside that name).
    void load_from_memory(const std::string& file_name, std::vector<uint8_t> bytes);

    Graphic* graphic() const { return graphic_.get(); }
    void set_graphic(std::unique_ptr<Graphic> graphic) { graphic_ = std::move(graphic); }

    ProgressListener on_progress;

private:
    std::unique_ptr<Graphic> graphic_;
};

}  // namespace quorvel::toolkit
