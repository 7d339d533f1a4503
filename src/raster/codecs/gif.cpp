// GIF reader on giflib: the first image of the file on its logical screen.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/gif_sizes.h"

namespace quorvel::raster {
namespace {

using codec_io::FailRead;
using codec_io::ImageRow;

// giflib 5 hands whole-file reads of interlaced images back in picture order already; older
// versions keep the stored order, which the reader then puts right itself.
constexpr bool kSlurpDeinterlaces = GIFLIB_MAJOR >= 5;

// Picture row of each stored row of an interlaced image: passes start at rows 0, 4, 2, 1 and
// step by 8, 8, 4, 2.
std::vector<int> interlaced_rows(int height) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(std::max(height, 0)));
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
    return rows;
}

// Transparent index from the first graphic control extension of the image, or -1.
int transparent_index(const SavedImage& image) {
    for (int i = 0; i < image.ExtensionBlockCount; ++i) {
        const ExtensionBlock& block = image.ExtensionBlocks[i];
        if (block.Function != GRAPHICS_EXT_FUNC_CODE) continue;
        if (block.ByteCount < 4 || block.Bytes == nullptr || !(block.Bytes[0] & 1)) return -1;
        return static_cast<uint8_t>(block.Bytes[3]);
    }
    return -1;
}

// The image's raster on the screen at its offsets, clipped to the screen.
void place_image(const SavedImage& image, BMGImage& img) {
    const GifImageDesc& d = image.ImageDesc;
    if (image.RasterBits == nullptr || d.Width <= 0 || d.Height <= 0) return;
    const std::vector<int> order = d.Interlace && !kSlurpDeinterlaces ? interlaced_rows(d.Height) : std::vector<int>();
    for (int stored = 0; stored < d.Height; ++stored) {
        const int y = static_cast<int>(d.Top) + (order.empty() ? stored : order[static_cast<size_t>(stored)]);
        if (y < 0 || y >= static_cast<int>(img.height)) continue;
        const int x0 = std::max(0, d.Left);
        const int x1 = std::min(static_cast<int>(img.width), d.Left + d.Width);
        if (x0 >= x1) continue;
        const GifByteType* src = image.RasterBits + static_cast<size_t>(stored) * d.Width + (x0 - d.Left);
        std::memcpy(ImageRow(img, img.height - 1 - static_cast<uint32_t>(y)) + x0, src, static_cast<size_t>(x1 - x0));
    }
}

BMGError read_gif(const GifFileType& gif, BMGImage* img) {
    if (gif.ImageCount < 1 || gif.SavedImages == nullptr) return BMG_ERR_CORRUPT_FORMAT;
    const SavedImage& first = gif.SavedImages[0];
    // The first image's indexes refer to its own colour map when it has one.
    const ColorMapObject* map = first.ImageDesc.ColorMap != nullptr ? first.ImageDesc.ColorMap : gif.SColorMap;
    if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0) return BMG_ERR_CORRUPT_FORMAT;

    img->width = gif.SWidth > 0 ? static_cast<uint32_t>(gif.SWidth) : 0;
    img->height = gif.SHeight > 0 ? static_cast<uint32_t>(gif.SHeight) : 0;
    img->bitsPerPixel = 8;
    img->paletteSize = static_cast<uint16_t>(std::min(map->ColorCount, 256));
    if (BMGError e = AllocateImageRecord(img); e != BMG_OK) return e;
    const int transparent = transparent_index(first);
    if (transparent >= 0 && transparent < img->paletteSize) img->transparentIndex = static_cast<int16_t>(transparent);
    for (size_t i = 0; i < img->paletteSize; ++i)
        codec_io::SetPaletteEntry(*img, i, map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);

    const auto background = static_cast<uint8_t>(gif.SBackGroundColor);
    for (uint32_t y = 0; y < img->height; ++y) std::memset(ImageRow(*img, y), background, img->width);
    place_image(first, *img);
    return BMG_OK;
}

// giflib allocates each image as its descriptor says: the descriptors are checked first.
bool file_sizes_plausible(const char* filename) {
    std::ifstream in(filename, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    return gif_sizes_plausible(bytes);
}

}  // namespace

BMGError ReadGifFile(const char* filename, BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    if (filename != nullptr && !file_sizes_plausible(filename)) return FailRead(img, BMG_ERR_IMAGE_SIZE);
    int error = 0;
    GifFileType* gif = filename != nullptr ? DGifOpenFileName(filename, &error) : nullptr;
    if (gif == nullptr) return FailRead(img, BMG_ERR_OPEN_FILE);
    BMGError e = DGifSlurp(gif) == GIF_OK ? read_gif(*gif, img) : BMG_ERR_CORRUPT_FORMAT;
    // giflib frees the handle whether or not the close succeeds.
    if (DGifCloseFile(gif, &error) != GIF_OK && e == BMG_OK) e = BMG_ERR_CORRUPT_FORMAT;
    if (e == BMG_OK) e = PackIndexedImage(img);
    return e == BMG_OK ? BMG_OK : FailRead(img, e);
}

}  // namespace quorvel::raster
