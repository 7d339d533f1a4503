// Files in and out of the container layer, by extension: the reader and writer dispatch
// tables and the load path from a file to a bitmap handle.
#pragma once

#include <string>
#include <vector>

#include <quorvel/wingdi.h>

#include "raster/bmg_image.h"

namespace quorvel::raster {

// Reads `filename` into `img` (empty, with dibLayout set as the caller wants the rows) with
// the reader its extension names. `extra` goes to the readers that take a third argument.
// The WSQ reader's own codes outside the error table come back as signed 8-bit values.
BMGError ReadImageFile(const char* filename, BMGImage* img, void* extra);

// Writes a bitmap with the writer its extension names; `options` as that writer takes them.
BMGError WriteImageFile(HBITMAP bitmap, const char* filename, void* options);

// The keys of the reader and writer dispatch tables, in the order they are tried.
std::vector<std::string> reader_keys();
std::vector<std::string> writer_keys();

// Reads a file into a new DIB section; null on failure, the reason in the last error.
HBITMAP LoadBitmapFromImageFile(const char* filename, void* options, int composite_mode);

}  // namespace quorvel::raster
