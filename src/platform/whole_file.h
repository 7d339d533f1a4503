// A whole file read into memory in one allocation: the size is taken from the open file, so
// the bytes are read straight into their final place instead of growing a buffer block by
// block. A file that changes size while it is read still comes back whole as read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace quorvel::platform {

enum class WholeFileStatus { Ok, ReadError, NoMemory };

// Reads from `file`'s current position to its end into `out` (replaced).
WholeFileStatus read_rest_of_file(std::FILE* file, std::vector<uint8_t>& out);

}  // namespace quorvel::platform
