// Result codes of every container operation, and the layer's last-error store.
#pragma once

#include <cstdint>

namespace quorvel::raster {

enum BMGError : int {
    BMG_OK = 0,
    BMG_ERR_CORRUPT_FORMAT = 1,
    BMG_ERR_BITS_PER_PIXEL = 2,
    BMG_ERR_NO_MEMORY = 3,
    BMG_ERR_IMAGE_SIZE = 4,
    BMG_ERR_BITMAP_HANDLE = 5,
    BMG_ERR_WINDOWS_API = 6,
    BMG_ERR_OPEN_FILE = 7,
    BMG_ERR_FORMAT_OPTION = 8,
    BMG_ERR_IMAGE_POINTER = 9,
    BMG_ERR_EXTENSION = 10,
    BMG_ERR_READ_FILE = 11,
    BMG_ERR_WRITE_FILE = 12,
    BMG_ERR_GEOTIFF_POINTER = 13,
    BMG_ERR_NO_BACKGROUND = 14,
    BMG_ERR_BACKGROUND_SMALL = 15,
    BMG_ERR_CORRUPT_FILE = 16,
};

// Stores the code as the last error (kept as a signed 8-bit value) and returns it.
BMGError SetLastImageError(BMGError code);
// The last error as stored.
int8_t GetLastImageError();
// Text of the last error; valid for the life of the library (of the call, for a call with its
// own CallState).
const char* GetImageErrorText();
// Text of any code, whether or not it was recorded (the WSQ adapter records none of its own).
const char* ImageErrorText(int code);

}  // namespace quorvel::raster
