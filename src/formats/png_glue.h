// libpng's handlers, one set for every libpng user. An error keeps libpng's text and jumps back
// to the recovery point the caller set with setjmp(png_jmpbuf(png)); warnings are dropped, as
// libpng recovers from what it warns about. Nothing is printed: each caller turns the failure
// into its own code or message.
#pragma once

#include <cstddef>
#include <cstdint>

#include <png.h>

namespace quorvel::formats {

// libpng's text of the last error of one read or write.
struct PngErrorText {
    char text[256];
};

// A read or write struct whose errors land in `error` (which outlives the struct); null when
// libpng cannot make one.
png_structp create_png_reader(PngErrorText* error);
png_structp create_png_writer(PngErrorText* error);

// Keeps libpng from allocating what an ancillary chunk's length field claims, a gigabyte for a
// file of a hundred bytes: the chunks that libpng reads whole before looking at them (texts,
// suggested palettes, calibrations, Exif), which no reader here uses, are skipped, and what a
// profile may inflate to is bounded by what file_bytes of deflate data can give.
void limit_png_chunks(png_structp png, uint64_t file_bytes);

// Bytes in memory served to a read struct. A read past their end is the error "Read Error".
struct PngMemorySource {
    const uint8_t* data;
    size_t size;
    size_t at;
};
void read_png_from_memory(png_structp png, PngMemorySource* source);

}  // namespace quorvel::formats
