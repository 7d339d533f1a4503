// The export table's data symbols. Hosts look them up by name; they stay null because the
// windows are reached only through the exported functions.
#include <quorvel/quorvel.h>

extern "C" {
QUORVEL_API void* TiffDialog = nullptr;
QUORVEL_API void* WSQDialog = nullptr;
QUORVEL_API void* FileFormatConverterForm = nullptr;
}
