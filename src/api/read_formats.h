// What load() reads: every extension of the format table, each with the readers' registry's
// description, else the picture loader's, else the table's own. The tool's format list and the
// C++ API's readable_formats() both are this list.
#pragma once

#include <vector>

#include <quorvel/quorvel.hpp>

namespace quorvel::api {

// In the format table's order, WSQ first.
std::vector<FileFormat> read_formats();

}  // namespace quorvel::api
