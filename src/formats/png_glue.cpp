#include "formats/png_glue.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "formats/deflate_bound.h"

namespace quorvel::formats {
namespace {

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
    if (error != nullptr) std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void on_read(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<PngMemorySource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "Read Error");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

}  // namespace

png_structp create_png_reader(PngErrorText* error) {
    if (error != nullptr) error->text[0] = '\0';
    return png_create_read_struct(PNG_LIBPNG_VER_STRING, error, on_error, on_warning);
}

png_structp create_png_writer(PngErrorText* error) {
    if (error != nullptr) error->text[0] = '\0';
    return png_create_write_struct(PNG_LIBPNG_VER_STRING, error, on_error, on_warning);
}

void limit_png_chunks(png_structp png, uint64_t file_bytes) {
    static const png_byte read_whole[] = "tEXt\0zTXt\0iTXt\0sPLT\0pCAL\0sCAL\0eXIf";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, read_whole, 7);
    const uint64_t most = deflate_most_bytes(file_bytes);
    const png_alloc_size_t cap = std::numeric_limits<png_alloc_size_t>::max();
    png_set_chunk_malloc_max(png, most < cap ? static_cast<png_alloc_size_t>(most) : cap);
}

void read_png_from_memory(png_structp png, PngMemorySource* source) {
    png_set_read_fn(png, source, on_read);
}

}  // namespace quorvel::formats
