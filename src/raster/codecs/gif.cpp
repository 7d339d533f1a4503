// GIF reader on giflib: the first image of the file on its logical screen.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "formats/gif_sizes.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/gif_image.h"
#include "raster/codecs/gif_wide.h"

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

// What giflib read, as the reader takes it; false when the file has no image or no colours.
bool from_giflib(const GifFileType& gif, GifFirstImage& out) {
    if (gif.ImageCount < 1 || gif.SavedImages == nullptr) return false;
    const SavedImage& first = gif.SavedImages[0];
    // The first image's indexes refer to its own colour map when it has one.
    const ColorMapObject* map =
        first.ImageDesc.ColorMap != nullptr ? first.ImageDesc.ColorMap : gif.SColorMap;
    if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0) return false;
    out.screen_width = gif.SWidth;
    out.screen_height = gif.SHeight;
    out.background = gif.SBackGroundColor;
    for (int i = 0; i < map->ColorCount; ++i)
        out.colours.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    out.transparent = transparent_index(first);
    const GifImageDesc& d = first.ImageDesc;
    out.left = d.Left, out.top = d.Top, out.width = d.Width, out.height = d.Height;
    out.stored_interlaced = d.Interlace && !kSlurpDeinterlaces;
    out.raster = first.RasterBits;
    return true;
}

// The image's raster on the screen at its offsets, clipped to the screen.
void place_image(const GifFirstImage& image, BMGImage& img) {
    if (image.raster == nullptr || image.width <= 0 || image.height <= 0) return;
    const std::vector<int> order =
        image.stored_interlaced ? interlaced_rows(image.height) : std::vector<int>();
    for (int stored = 0; stored < image.height; ++stored) {
        const int y = image.top + (order.empty() ? stored : order[static_cast<size_t>(stored)]);
        if (y < 0 || y >= static_cast<int>(img.height)) continue;
        const int x0 = std::max(0, image.left);
        const int x1 = std::min(static_cast<int>(img.width), image.left + image.width);
        if (x0 >= x1) continue;
        const uint8_t* src =
            image.raster + static_cast<size_t>(stored) * image.width + (x0 - image.left);
        std::memcpy(ImageRow(img, img.height - 1 - static_cast<uint32_t>(y)) + x0, src,
                    static_cast<size_t>(x1 - x0));
    }
}

BMGError read_gif(const GifFirstImage& image, BMGImage* img) {
    img->width = image.screen_width > 0 ? static_cast<uint32_t>(image.screen_width) : 0;
    img->height = image.screen_height > 0 ? static_cast<uint32_t>(image.screen_height) : 0;
    img->bitsPerPixel = 8;
    img->paletteSize = static_cast<uint16_t>(std::min<size_t>(image.colours.size(), 256));
    if (BMGError e = AllocateImageRecord(img); e != BMG_OK) return e;
    if (image.transparent >= 0 && image.transparent < img->paletteSize)
        img->transparentIndex = static_cast<int16_t>(image.transparent);
    for (size_t i = 0; i < img->paletteSize; ++i)
        codec_io::SetPaletteEntry(*img, i, image.colours[i][0], image.colours[i][1],
                                  image.colours[i][2]);

    const auto background = static_cast<uint8_t>(image.background);
    for (uint32_t y = 0; y < img->height; ++y)
        std::memset(ImageRow(*img, y), background, img->width);
    place_image(image, *img);
    return BMG_OK;
}

// The whole file (empty when it cannot be read: giflib then reports the failure).
std::vector<uint8_t> file_bytes(const char* filename) {
    std::ifstream in(filename, std::ios::binary);
    return std::vector<uint8_t>{std::istreambuf_iterator<char>(in), {}};
}

BMGError read_with_giflib(const char* filename, BMGImage* img) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(filename, &error);
    if (gif == nullptr) return BMG_ERR_OPEN_FILE;
    GifFirstImage image;
    BMGError e = BMG_ERR_CORRUPT_FORMAT;
    if (DGifSlurp(gif) == GIF_OK && from_giflib(*gif, image)) e = read_gif(image, img);
    // giflib frees the handle whether or not the close succeeds.
    if (DGifCloseFile(gif, &error) != GIF_OK && e == BMG_OK) e = BMG_ERR_CORRUPT_FORMAT;
    return e;
}

// Images with LZW codes wider than giflib takes are decoded here.
BMGError read_wide(const std::vector<uint8_t>& bytes, BMGImage* img) {
    GifFirstImage image;
    std::vector<uint8_t> raster;
    const BMGError e = read_wide_gif(bytes, image, raster);
    return e == BMG_OK ? read_gif(image, img) : e;
}

}  // namespace

BMGError ReadGifFile(const char* filename, BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    if (filename == nullptr) return FailRead(img, BMG_ERR_OPEN_FILE);
    // giflib allocates each image as its descriptor says: the descriptors are checked first.
    const std::vector<uint8_t> bytes = file_bytes(filename);
    if (!formats::gif_sizes_plausible(bytes)) return FailRead(img, BMG_ERR_IMAGE_SIZE);
    BMGError e =
        gif_has_wide_codes(bytes) ? read_wide(bytes, img) : read_with_giflib(filename, img);
    if (e == BMG_OK) e = PackIndexedImage(img);
    return e == BMG_OK ? BMG_OK : FailRead(img, e);
}

}  // namespace quorvel::raster
