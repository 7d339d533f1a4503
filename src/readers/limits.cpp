#include "readers/limits.h"

namespace quorvel::readers {

const ReaderLimits& reader_limits() {
    static const ReaderLimits limits;
    return limits;
}

}  // namespace quorvel::readers
