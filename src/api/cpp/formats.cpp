// readable_formats(): the format table's extensions, each with its description.
#include <quorvel/quorvel.hpp>

#include "api/read_formats.h"

namespace quorvel {

std::vector<FileFormat> readable_formats() { return api::read_formats(); }

}  // namespace quorvel
