// What every picture class loads from: a read-only byte range with a position, the format
// layer's bounded cursor. Reads never pass the end; a short read says how much there was
// (read_some), so readers decide what a short file means; seek stops at the end.
#pragma once

#include "formats/byte_cursor.h"

namespace quorvel::toolkit {

using Stream = formats::ByteCursor;

}  // namespace quorvel::toolkit
