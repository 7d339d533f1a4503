// BMGImage: the in-memory raster record every container reader fills and every writer
// consumes. Rows bottom-up; pixels and palette entries in blue, green, red order.
#pragma once

#include <cstdint>

#include "raster/bmg_error.h"

namespace quorvel::raster {

struct BMGImage {
    uint32_t width;
    uint32_t height;
    uint8_t bitsPerPixel;
    uint8_t* pixels;
    uint16_t paletteSize;
    uint8_t paletteEntryBytes;
    uint8_t* palette;
    uint32_t rowBytes;
    int32_t dibLayout;
    int16_t transparentIndex;
};

void ClearImageRecord(BMGImage* img);
void ReleaseImageRecord(BMGImage* img);
// BMG_ERR_IMAGE_SIZE when a picture of that shape, whose buffers take `bytes`, is over the
// library's load limits. Codecs call it before any buffer they size from a header.
BMGError CheckImageLimits(uint64_t width, uint64_t height, uint64_t bytes);
// `cleared` false leaves the pixel block as malloc gives it, for a reader that writes every
// byte of every row (padding included) before the record is used.
BMGError AllocateImageRecord(BMGImage* img, bool cleared = true);
BMGError PackIndexedImage(BMGImage* img);
void UnpackIndexedRows1(BMGImage img, uint8_t* out);
void UnpackIndexedRows4(BMGImage img, uint8_t* out);
BMGError ExpandRgb555(BMGImage* img);
uint8_t CompositeChannel(uint8_t foreground, uint8_t alpha, uint8_t background);
uint8_t UncompositeChannel(uint8_t composited, uint8_t alpha, uint8_t background);
uint16_t SwapBytes16(uint16_t value);
int16_t SwapBytes16(int16_t value);
uint32_t SwapBytes32(uint32_t value);
int32_t SwapBytes32(int32_t value);

// Library-wide background colour (red, green, blue), white from load on.
struct RgbColour {
    uint8_t red, green, blue;
};
extern const RgbColour BackgroundColour;

}  // namespace quorvel::raster
