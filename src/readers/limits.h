// The limits every extended reader is handed: how large a picture and how large a buffer a
// load may ask for. Readers check declared sizes against them (and against what the file can
// hold) before they allocate. They are the library-wide load limits at the time the reader was
// made.
#pragma once

#include "platform/limits.h"

namespace quorvel::readers {

using ReaderLimits = platform::LoadLimits;

// The limits in force for the library's loads.
inline ReaderLimits reader_limits() { return platform::load_limits(); }

}  // namespace quorvel::readers
