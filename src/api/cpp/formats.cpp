// readable_formats(): the load routes, each with its description.
#include <quorvel/quorvel.hpp>

#include "api/load.h"
#include "api/read_formats.h"

namespace quorvel {

std::vector<FileFormat> readable_formats() {
    std::vector<FileFormat> formats;
    for (const api::RouteEntry& entry : api::route_table())
        formats.push_back({entry.extension, api::read_format_description(entry.extension)});
    return formats;
}

}  // namespace quorvel
