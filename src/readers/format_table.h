// The one table of the formats the library reads: every extension a load takes, the route it
// goes by, whether the container's reader dispatch reads it, and for the extensions the readers'
// registry lists, the reader class, descriptions and kinds, in the registry's order. The load
// routes, the registry and the format lists of the tool and the C++ API are made from it; the
// container's dispatch and the converter's list keep their own fixed rows, which tests hold to it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "toolkit/graphic.h"

namespace quorvel::readers {

// Format kinds, one byte of flags.
enum FormatKind : uint8_t {
    fkLayered = 2,
    fkMultiImage = 4,
    fkRaster = 8,
    fkVector = 16,
};

// How a load reads an extension.
enum class LoadRoute {
    Wsq,            // container reader with WSQ options
    Container,      // container reader without options
    PictureLoader,  // the toolkit's picture loader and the extended readers
    Icon,
    Metafile,
    Jpeg,  // the toolkit's JPEG image class
    None,  // nothing is read
};

struct FormatRow {
    const char* extension;  // lower case, without the dot
    LoadRoute route;
    bool container;  // the container's reader dispatch has a reader for its first three letters
    const toolkit::GraphicClass& (*graphic_class)();  // the registry's class; null: not registered
    const char* common;                               // the class's common description, "" for none
    const char* individual;  // the extension's own description, "" for none
    uint8_t kinds;
};

// WSQ first; the registered rows in the registry's order.
std::span<const FormatRow> format_table();
// The row of an extension (lower case), null when nothing reads it.
const FormatRow* find_format(const std::string& extension);

}  // namespace quorvel::readers
