#include "raster/codecs/gif_wide.h"

#include <cstring>
#include <new>

#include "formats/gif_sizes.h"
#include "platform/limits.h"
#include "raster/codecs/gif_lzw.h"

namespace quorvel::raster {
namespace {

constexpr size_t kScreenBytes = 13;
constexpr size_t kDescriptorBytes = 10;
constexpr uint8_t kImageBlock = 0x2C, kExtensionBlock = 0x21, kControlLabel = 0xF9;
// giflib takes code sizes up to 8 (the pixel depth of its line buffers).
constexpr uint8_t kGiflibMaxCodeSize = 8;

using File = std::vector<uint8_t>;

// Past a chain of sub-blocks from `at`, adding their bytes to `data` when given; false when the
// file ends inside the chain.
bool pass_sub_blocks(const File& f, size_t& at, File* data) {
    while (at < f.size()) {
        const size_t n = f[at++];
        if (n == 0) return true;
        if (n > f.size() - at) return false;
        if (data != nullptr)
            data->insert(data->end(), f.begin() + long(at), f.begin() + long(at + n));
        at += n;
    }
    return false;
}

// An image: its descriptor, where its LZW code size byte is, and the first graphic control
// extension since the previous image (0: none), which giflib hands over with the image.
struct ImagePlace {
    size_t descriptor = 0, code_size_at = 0, control = 0;
};

// The images of the file in order, as far as its blocks can be walked.
std::vector<ImagePlace> image_places(const File& f) {
    std::vector<ImagePlace> places;
    if (f.size() < kScreenBytes) return places;
    size_t at = kScreenBytes + formats::gif_colour_table_bytes(f[10]), control = 0;
    while (at < f.size()) {
        if (f[at] == kImageBlock && at + kDescriptorBytes < f.size()) {
            const size_t code_size_at =
                at + kDescriptorBytes + formats::gif_colour_table_bytes(f[at + 9]);
            if (code_size_at >= f.size()) break;
            places.push_back(ImagePlace{at, code_size_at, control});
            control = 0;
            at = code_size_at + 1;
        } else if (f[at] == kExtensionBlock && at + 1 < f.size()) {
            if (f[at + 1] == kControlLabel && control == 0) control = at;
            at += 2;
        } else {
            break;  // the trailer, or bytes nobody reads
        }
        if (!pass_sub_blocks(f, at, nullptr)) break;
    }
    return places;
}

// Colours of a table at `at` with `flags`; empty when the file cannot hold it.
std::vector<std::array<uint8_t, 3>> colour_table(const File& f, size_t at, uint8_t flags) {
    const size_t bytes = formats::gif_colour_table_bytes(flags);
    std::vector<std::array<uint8_t, 3>> colours;
    if (bytes == 0 || at + bytes > f.size()) return colours;
    for (size_t i = 0; i < bytes; i += 3)
        colours.push_back({f[at + i], f[at + i + 1], f[at + i + 2]});
    return colours;
}

// The transparent index a graphic control extension at `at` gives, or -1.
int transparent_index(const File& f, size_t at) {
    if (at == 0 || at + 6 >= f.size() || f[at + 2] < 4 || !(f[at + 3] & 1)) return -1;
    return f[at + 6];
}

}  // namespace

bool gif_has_wide_codes(const File& f) {
    for (const ImagePlace& p : image_places(f))
        if (f[p.code_size_at] > kGiflibMaxCodeSize) return true;
    return false;
}

BMGError read_wide_gif(const File& f, GifFirstImage& image, std::vector<uint8_t>& raster) {
    const std::vector<ImagePlace> places = image_places(f);
    if (places.empty() || std::memcmp(f.data(), "GIF", 3) != 0) return BMG_ERR_CORRUPT_FORMAT;
    const ImagePlace& first = places.front();
    const size_t d = first.descriptor;
    image.screen_width = int(formats::gif_le16(f, 6));
    image.screen_height = int(formats::gif_le16(f, 8));
    image.background = f[11];
    image.left = int(formats::gif_le16(f, d + 1)), image.top = int(formats::gif_le16(f, d + 3));
    image.width = int(formats::gif_le16(f, d + 5)), image.height = int(formats::gif_le16(f, d + 7));
    image.stored_interlaced = (f[d + 9] & 0x40) != 0;
    image.colours = (f[d + 9] & 0x80) ? colour_table(f, d + kDescriptorBytes, f[d + 9])
                                      : colour_table(f, kScreenBytes, f[10]);
    image.transparent = transparent_index(f, first.control);
    File data;
    size_t at = first.code_size_at + 1;
    if (image.colours.empty() || !pass_sub_blocks(f, at, &data)) return BMG_ERR_CORRUPT_FORMAT;
    const uint64_t pixels = uint64_t(image.width) * uint64_t(image.height);
    if (!platform::within_load_limits(uint64_t(image.width), uint64_t(image.height), pixels))
        return BMG_ERR_IMAGE_SIZE;
    try {
        raster.assign(pixels, 0);
    } catch (const std::bad_alloc&) {
        return BMG_ERR_NO_MEMORY;
    }
    if (!decode_gif_lzw(f[first.code_size_at], data, raster)) return BMG_ERR_CORRUPT_FORMAT;
    image.raster = raster.data();
    return BMG_OK;
}

}  // namespace quorvel::raster
