// What each extension load() reads is called: the readers' registry's description, else the
// picture loader's, else one of the library's own for the formats neither describes. The
// tool's format list and the C++ API's readable_formats() both read it.
#pragma once

#include <string>

namespace quorvel::api {

// The description of a readable extension (lower case, without the dot); empty for an
// extension nothing reads.
std::string read_format_description(const std::string& extension);

}  // namespace quorvel::api
