#include "api/read_formats.h"

#include "readers/registry.h"
#include "toolkit/picture.h"

namespace quorvel::api {
namespace {

// Readable extensions neither the registry nor the picture loader describes.
const char* own_description(const std::string& extension) {
    if (extension == "wsq") return "WSQ fingerprint images";
    if (extension == "gif") return "CompuServe GIF images";
    if (extension == "iff") return "Amiga IFF images";
    if (extension == "jpe") return "JPEG images";
    return "";
}

}  // namespace

std::string read_format_description(const std::string& extension) {
    if (const readers::ExtensionEntry* e = readers::file_format_list().find(extension))
        return readers::file_format_list().description(*e);
    if (const toolkit::PictureFormat* f = toolkit::picture_formats().find(extension))
        return f->description;
    return own_description(extension);
}

}  // namespace quorvel::api
