#include "raster/bmg_image.h"

#include <cstdlib>
#include <cstring>

#include "formats/palette.h"
#include "platform/limits.h"

namespace quorvel::raster {

const RgbColour BackgroundColour = {255, 255, 255};

namespace {

bool valid_depth(uint8_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

uint64_t packed_row_bytes(uint64_t bits, uint64_t width) { return (bits * width + 7) / 8; }

uint64_t round_up4(uint64_t value) { return (value + 3) & ~uint64_t{3}; }

void free_blocks(BMGImage* img) {
    std::free(img->pixels);
    std::free(img->palette);
    img->pixels = nullptr;
    img->palette = nullptr;
}

BMGError allocate_palette(BMGImage* img) {
    if (img->bitsPerPixel > 8) {
        img->paletteEntryBytes = 0;
        img->paletteSize = 0;
        return BMG_OK;
    }
    img->paletteEntryBytes = (img->dibLayout > 0 || img->paletteEntryBytes > 3) ? 4 : 3;
    if (img->paletteSize == 0) img->paletteSize = static_cast<uint16_t>(1u << img->bitsPerPixel);
    img->palette = static_cast<uint8_t*>(std::calloc(img->paletteSize, img->paletteEntryBytes));
    return img->palette == nullptr ? BMG_ERR_NO_MEMORY : BMG_OK;
}

void pack_row_1(const uint8_t* in, uint8_t* out, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x)
        if (in[x] & 1) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

void pack_row_4(const uint8_t* in, uint8_t* out, uint32_t width) {
    for (uint32_t x = 0; x + 1 < width; x += 2)
        out[x / 2] = static_cast<uint8_t>(in[x] * 16 + (in[x + 1] & 15));
    if (width % 2) out[width / 2] = static_cast<uint8_t>(in[width - 1] * 16);
}

}  // namespace

void ClearImageRecord(BMGImage* img) {
    if (img == nullptr) return;
    img->width = 0;
    img->height = 0;
    img->bitsPerPixel = 0;
    img->pixels = nullptr;
    img->paletteSize = 0;
    img->paletteEntryBytes = 0;
    img->palette = nullptr;
    img->rowBytes = 0;
    img->dibLayout = 0;
    img->transparentIndex = -1;
}

void ReleaseImageRecord(BMGImage* img) {
    if (img == nullptr) return;
    free_blocks(img);
    ClearImageRecord(img);
}

BMGError CheckImageLimits(uint64_t width, uint64_t height, uint64_t bytes) {
    return platform::within_load_limits(width, height, bytes) ? BMG_OK : BMG_ERR_IMAGE_SIZE;
}

BMGError AllocateImageRecord(BMGImage* img, bool cleared) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    // Checked factor by factor: a product that wraps to zero is no image either.
    if (img->width == 0 || img->height == 0) return SetLastImageError(BMG_ERR_IMAGE_SIZE);
    if (!valid_depth(img->bitsPerPixel)) return SetLastImageError(BMG_ERR_BITS_PER_PIXEL);
    uint64_t row = packed_row_bytes(img->bitsPerPixel, img->width);
    if (img->dibLayout != 0) row = round_up4(row);
    if (row * img->height > platform::kMaxBlockBytes) return SetLastImageError(BMG_ERR_IMAGE_SIZE);
    if (CheckImageLimits(img->width, img->height, row * img->height) != BMG_OK)
        return SetLastImageError(BMG_ERR_IMAGE_SIZE);

    free_blocks(img);
    if (allocate_palette(img) != BMG_OK) return SetLastImageError(BMG_ERR_NO_MEMORY);
    img->rowBytes = static_cast<uint32_t>(row);
    img->pixels =
        static_cast<uint8_t*>(cleared ? std::calloc(row, img->height)
                                      : std::malloc(static_cast<size_t>(row) * img->height));
    if (img->pixels == nullptr) {
        free_blocks(img);
        return SetLastImageError(BMG_ERR_NO_MEMORY);
    }
    return BMG_OK;
}

BMGError PackIndexedImage(BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr || img->pixels == nullptr || img->palette == nullptr) return BMG_OK;
    if (img->paletteSize == 0 || img->paletteSize > 16 || img->bitsPerPixel != 8) return BMG_OK;

    const uint8_t depth = img->paletteSize <= 2 ? 1 : 4;
    uint64_t row = packed_row_bytes(depth, img->width);
    if (img->dibLayout > 0) row = round_up4(row);
    auto* packed = static_cast<uint8_t*>(std::calloc(row, img->height));
    if (packed == nullptr) return SetLastImageError(BMG_ERR_NO_MEMORY);
    for (uint32_t y = 0; y < img->height; ++y) {
        const uint8_t* in = img->pixels + static_cast<size_t>(y) * img->rowBytes;
        uint8_t* out = packed + static_cast<size_t>(y) * row;
        if (depth == 1) pack_row_1(in, out, img->width);
        else pack_row_4(in, out, img->width);
    }
    std::free(img->pixels);
    img->pixels = packed;
    img->rowBytes = static_cast<uint32_t>(row);
    img->bitsPerPixel = depth;
    return BMG_OK;
}

void UnpackIndexedRows1(BMGImage img, uint8_t* out) {
    if (img.pixels == nullptr || out == nullptr) return;
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* in = img.pixels + static_cast<size_t>(y) * img.rowBytes;
        for (uint32_t x = 0; x < img.width; ++x) *out++ = (in[x / 8] >> (7 - x % 8)) & 1;
    }
}

void UnpackIndexedRows4(BMGImage img, uint8_t* out) {
    if (img.pixels == nullptr || out == nullptr) return;
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* in = img.pixels + static_cast<size_t>(y) * img.rowBytes;
        for (uint32_t x = 0; x < img.width; ++x)
            *out++ = (x % 2 == 0) ? (in[x / 2] >> 4) : (in[x / 2] & 15);
    }
}

BMGError ExpandRgb555(BMGImage* img) {
    if (img == nullptr || img->pixels == nullptr) return BMG_ERR_IMAGE_POINTER;
    if (img->bitsPerPixel != 16) return BMG_ERR_BITS_PER_PIXEL;
    uint64_t row = uint64_t{3} * img->width;
    if (img->dibLayout != 0) row = round_up4(row);
    if (row * img->height > platform::kMaxBlockBytes) return BMG_ERR_IMAGE_SIZE;
    if (CheckImageLimits(img->width, img->height, row * img->height) != BMG_OK)
        return BMG_ERR_IMAGE_SIZE;
    auto* wide = static_cast<uint8_t*>(std::calloc(row, img->height));
    if (wide == nullptr) return BMG_ERR_NO_MEMORY;
    for (uint32_t y = 0; y < img->height; ++y) {
        const uint8_t* in = img->pixels + static_cast<size_t>(y) * img->rowBytes;
        uint8_t* out = wide + static_cast<size_t>(y) * row;
        for (uint32_t x = 0; x < img->width; ++x, out += 3) formats::bgr_from_555(in + 2 * x, out);
    }
    std::free(img->pixels);
    img->pixels = wide;
    img->rowBytes = static_cast<uint32_t>(row);
    img->bitsPerPixel = 24;
    return BMG_OK;
}

uint8_t CompositeChannel(uint8_t foreground, uint8_t alpha, uint8_t background) {
    if (alpha == 0) return background;
    if (alpha == 255) return foreground;
    const unsigned t = alpha * foreground + (255u - alpha) * background + 128u;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

uint8_t UncompositeChannel(uint8_t composited, uint8_t alpha, uint8_t background) {
    if (alpha == 0) return background;
    if (alpha == 255) return composited;
    const int value = (255 * composited - (255 - alpha) * background) / alpha;
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

uint16_t SwapBytes16(uint16_t value) { return static_cast<uint16_t>((value >> 8) | (value << 8)); }

int16_t SwapBytes16(int16_t value) {
    return static_cast<int16_t>(SwapBytes16(static_cast<uint16_t>(value)));
}

uint32_t SwapBytes32(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

int32_t SwapBytes32(int32_t value) {
    return static_cast<int32_t>(SwapBytes32(static_cast<uint32_t>(value)));
}

}  // namespace quorvel::raster
