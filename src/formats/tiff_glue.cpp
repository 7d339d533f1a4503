#include "formats/tiff_glue.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/limits.h"

namespace quorvel::formats {
namespace {

// Largest block libtiff may allocate at once for a file, a bound on what a header can claim:
// the load limits' decoder memory.
tmsize_t max_single_allocation() {
    const uint64_t limit = platform::load_limits().max_decoder_memory;
    return static_cast<tmsize_t>(std::min<uint64_t>(limit, std::numeric_limits<tmsize_t>::max()));
}

int send_error(TIFF*, void* user, const char* module, const char* format, va_list args) {
    const auto* errors = static_cast<const TiffErrorSink*>(user);
    if (errors == nullptr) return 1;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    errors->show(module, text);
    return 1;  // handled: libtiff's own handler stays silent
}

int drop_message(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFFOpenOptions* handler_options(const TiffErrorSink* errors) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, send_error, const_cast<TiffErrorSink*>(errors));
    TIFFOpenOptionsSetWarningHandlerExtR(options, drop_message, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, max_single_allocation());
    return options;
}

tmsize_t memory_read(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<TiffMemoryFile*>(handle);
    if (count <= 0 || file->pos >= file->size) return 0;
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), file->size - file->pos);
    std::memcpy(buffer, file->data + file->pos, n);
    file->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t memory_write(thandle_t, void*, tmsize_t) { return -1; }

toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<TiffMemoryFile*>(handle);
    const uint64_t from = whence == SEEK_CUR ? file->pos : whence == SEEK_END ? file->size : 0;
    file->pos = from + offset;  // positions past the end read as the end of the file
    return file->pos;
}

int memory_close(thandle_t) { return 0; }
toff_t memory_size(thandle_t handle) { return static_cast<TiffMemoryFile*>(handle)->size; }
int memory_map(thandle_t, void**, toff_t*) { return 0; }
void memory_unmap(thandle_t, void*, toff_t) {}

}  // namespace

TIFF* open_tiff_file(const char* filename, const char* mode, const TiffErrorSink* errors) {
    TIFFOpenOptions* options = handler_options(errors);
    if (options == nullptr) return nullptr;
    TIFF* tif = TIFFOpenExt(filename, mode, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

TIFF* open_tiff_memory(TiffMemoryFile* file) {
    TIFFOpenOptions* options = handler_options(nullptr);
    if (options == nullptr) return nullptr;
    TIFF* tif = TIFFClientOpenExt("memory", "rm", file, memory_read, memory_write, memory_seek,
                                  memory_close, memory_size, memory_map, memory_unmap, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

}  // namespace quorvel::formats
