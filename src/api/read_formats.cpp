#include "api/read_formats.h"

#include "readers/registry.h"
#include "toolkit/picture.h"

namespace quorvel::api {
namespace {

std::string description(const readers::FormatRow& row) {
    if (const readers::ExtensionEntry* e = readers::file_format_list().find(row.extension))
        return readers::file_format_list().description(*e);
    if (const toolkit::PictureFormat* f = toolkit::picture_formats().find(row.extension))
        return f->description;
    return row.individual;
}

}  // namespace

std::vector<FileFormat> read_formats() {
    std::vector<FileFormat> formats;
    for (const readers::FormatRow& row : readers::format_table())
        formats.push_back({row.extension, description(row)});
    return formats;
}

}  // namespace quorvel::api
