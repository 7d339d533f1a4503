// Binary PGM (P5) files: the tool's image format until the library's file entry points take
// every raster format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::tool {

struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // top row first, no padding
};

// Reads an 8-bit binary PGM; samples of a maxval below 255 are scaled to 0..255. False, with
// a message in `error`, for anything else.
bool read_pgm(const std::string& path, GrayImage& image, std::string& error);

// Writes a binary PGM with maxval 255. False, with a message in `error`, on failure.
bool write_pgm(const std::string& path, const GrayImage& image, std::string& error);

}  // namespace quorvel::tool
