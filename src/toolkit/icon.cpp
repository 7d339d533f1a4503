#include "toolkit/icon.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "formats/bmp_header.h"
#include "formats/byte_cursor.h"
#include "platform/limits.h"
#include "toolkit/bitmap.h"
#include "toolkit/dib.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

constexpr char kInvalid[] = "Icon image is not valid";
constexpr size_t kDirectoryBytes = 6;
constexpr size_t kEntryBytes = 16;

[[noreturn]] void invalid() { throw EInvalidGraphic(kInvalid); }

using formats::le16;
using formats::le32;

struct Entry {
    int width, height, bits;
    uint32_t size, offset;
};

// The directory's depth, or the one its colour count implies when it says 0.
int entry_bits(std::span<const uint8_t> b, size_t at) {
    const int bits = static_cast<int>(le16(b, at + 6));
    if (bits != 0) return bits;
    const int colours = b[at + 2];
    return colours == 0 ? 8 : colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
}

// The directory's entries whose bytes lie inside the file.
std::vector<Entry> read_directory(std::span<const uint8_t> b) {
    if (b.size() < kDirectoryBytes || le16(b, 0) != 0) invalid();
    const uint32_t type = le16(b, 2), count = le16(b, 4);
    if ((type != 1 && type != 2) || count == 0 || kDirectoryBytes + kEntryBytes * count > b.size())
        invalid();
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = kDirectoryBytes + kEntryBytes * i;
        const Entry e{b[at] == 0 ? 256 : b[at], b[at + 1] == 0 ? 256 : b[at + 1], entry_bits(b, at),
                      le32(b, at + 8), le32(b, at + 12)};
        if (e.size != 0 && uint64_t{e.offset} + e.size <= b.size()) entries.push_back(e);
    }
    if (entries.empty()) invalid();
    return entries;
}

const Entry& choose(const std::vector<Entry>& entries) {
    return *std::max_element(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const long area_a = long(a.width) * a.height, area_b = long(b.width) * b.height;
        return area_a != area_b ? area_a < area_b : a.bits < b.bits;
    });
}

bool is_png(std::span<const uint8_t> e) {
    return e.size() >= 8 && png_sig_cmp(e.data(), 0, 8) == 0;
}

// libpng's simplified reader takes 16-bit samples as linear light and would brighten them
// on the way to 8 bits; those are read as 16-bit linear (no conversion, alpha premultiplied)
// and narrowed here, as other readers of icons do.
void narrow_linear(const std::vector<uint16_t>& wide, BgraImage& out) {
    for (size_t i = 0; i < wide.size(); i += 4) {
        const uint32_t alpha = wide[i + 3];
        for (int c = 0; c < 3; ++c) {
            const uint32_t straight =
                alpha == 0 ? 0
                           : std::min<uint32_t>(65535, (wide[i + c] * 65535u + alpha / 2) / alpha);
            out.pixels[i + c] = static_cast<uint8_t>((straight * 255 + 32767) / 65535);
        }
        out.pixels[i + 3] = static_cast<uint8_t>((alpha * 255 + 32767) / 65535);
    }
}

BgraImage decode_png(std::span<const uint8_t> e) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, e.data(), e.size())) invalid();
    // Icons are 256 by 256 at most; PNG entries may claim anything.
    const platform::LoadLimits limits = platform::load_limits();
    if (uint64_t{image.width} * image.height >
        std::min(limits.max_pixels, limits.max_icon_pixels)) {
        png_image_free(&image);
        invalid();
    }
    const bool wide = (image.format & PNG_FORMAT_FLAG_LINEAR) != 0;
    image.format = wide ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_BGRA;
    BgraImage out{int(image.width), int(image.height),
                  std::vector<uint8_t>(size_t(image.width) * image.height * 4)};
    std::vector<uint16_t> linear(wide ? out.pixels.size() : 0);
    void* buffer = wide ? static_cast<void*>(linear.data()) : out.pixels.data();
    if (!png_image_finish_read(&image, nullptr, buffer, 0, nullptr)) {
        png_image_free(&image);
        throw EInvalidGraphic(std::string(kInvalid) + ": " + image.message);
    }
    if (wide) {
        narrow_linear(linear, out);
        for (size_t i = 0; i < out.pixels.size(); i += 4)
            std::swap(out.pixels[i], out.pixels[i + 2]);  // RGB to BGR
    }
    return out;
}

// 32-bit entries carry their own alpha; rows from the bottom up.
BgraImage read_alpha_rows(std::span<const uint8_t> e, const dib::DibLayout& layout) {
    const uint64_t row = dib::stored_row_bytes(32, uint32_t(layout.width));
    if (layout.pixels_at + row * layout.height > e.size()) invalid();
    BgraImage out{layout.width, layout.height,
                  std::vector<uint8_t>(size_t(layout.width) * layout.height * 4)};
    for (int y = 0; y < layout.height; ++y)
        std::memcpy(&out.pixels[size_t(y) * layout.width * 4],
                    e.data() + layout.pixels_at + row * (layout.height - 1 - y),
                    size_t(layout.width) * 4);
    return out;
}

BgraImage read_colour_rows(std::span<const uint8_t> e, const dib::DibLayout& layout) {
    Bitmap colours;
    dib::decode_pixels(e, layout, colours);
    colours.set_pixel_format(PixelFormat::Bit24);
    BgraImage out{layout.width, layout.height,
                  std::vector<uint8_t>(size_t(layout.width) * layout.height * 4)};
    for (int y = 0; y < layout.height; ++y) {
        const uint8_t* in = colours.scanline(y);
        uint8_t* px = &out.pixels[size_t(y) * layout.width * 4];
        for (int x = 0; x < layout.width; ++x, in += 3, px += 4) {
            std::memcpy(px, in, 3);
            px[3] = 255;
        }
    }
    return out;
}

bool has_alpha(const BgraImage& image) {
    for (size_t i = 3; i < image.pixels.size(); i += 4)
        if (image.pixels[i] != 0) return true;
    return false;
}

// Bytes at the end of the entry that belong to an embedded colour profile (a version-5
// header's), which some writers put after the mask and others between the rows and the mask.
uint64_t trailing_profile_bytes(std::span<const uint8_t> e) {
    constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
    formats::bmp::InfoHeader h;
    if (formats::bmp::read_info_header(e, h) != formats::bmp::HeaderStatus::Ok ||
        h.header_bytes < formats::bmp::kV5HeaderBytes || h.colour_space != kProfileEmbedded)
        return 0;
    const uint64_t at = h.profile_offset, size = h.profile_bytes;
    return at + size == e.size() ? size : 0;
}

// The AND mask: a set bit is a transparent pixel. It is the last block of the entry (less a
// profile that ends it), as writers that put other data after the colour rows leave it; in
// a plain entry that is right after the rows. A 32-bit entry uses it only when its alpha is
// all zero (old writers left the alpha empty).
void apply_mask(std::span<const uint8_t> e, const dib::DibLayout& layout, BgraImage& image) {
    const uint64_t colour_row = dib::stored_row_bytes(layout.bits, uint32_t(layout.width));
    const uint64_t mask_row = dib::stored_row_bytes(1, uint32_t(layout.width));
    const uint64_t rows_end = layout.pixels_at + colour_row * layout.height;
    const uint64_t end = e.size() - trailing_profile_bytes(e);
    if (rows_end + mask_row * layout.height > end) return;  // no mask: the entry is opaque
    if (layout.bits == 32 && has_alpha(image)) return;
    const uint64_t at = end - mask_row * layout.height;
    for (int y = 0; y < layout.height; ++y) {
        const uint8_t* mask = e.data() + at + mask_row * (layout.height - 1 - y);
        for (int x = 0; x < layout.width; ++x) {
            const bool clear = (mask[x / 8] >> (7 - x % 8)) & 1;
            image.pixels[(size_t(y) * layout.width + x) * 4 + 3] = clear ? 0 : 255;
        }
    }
}

BgraImage decode_dib(std::span<const uint8_t> e) {
    dib::DibLayout layout = dib::read_layout(e, 0, 0);
    // The header counts the colour rows and the mask rows.
    layout.height /= 2;
    if (layout.height == 0 || layout.top_down || layout.compression != dib::kBiRgb) invalid();
    BgraImage image = layout.bits == 32 ? read_alpha_rows(e, layout) : read_colour_rows(e, layout);
    apply_mask(e, layout, image);
    return image;
}

}  // namespace

void Icon::LoadFromStream(Stream& stream) {
    const std::span<const uint8_t> bytes = stream.rest();
    const Entry entry = choose(read_directory(bytes));
    const std::span<const uint8_t> e = bytes.subspan(entry.offset, entry.size);
    image_ = is_png(e) ? decode_png(e) : decode_dib(e);
    stream.seek(stream.size());
}

const GraphicClass& icon_class() {
    static const GraphicClass c{"TIcon", [] { return std::unique_ptr<Graphic>(new Icon); }};
    return c;
}

}  // namespace quorvel::toolkit
