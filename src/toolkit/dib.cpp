#include "toolkit/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/byte_cursor.h"
#include "platform/limits.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit::dib {
namespace {

constexpr char kInvalid[] = "Bitmap image is not valid";
// Longest information header we accept (V5 is 124 bytes; the rest is for later versions).
constexpr uint32_t kMaxHeaderBytes = 4096;
// A run gives at most 255 pixels for two bytes; deltas and an early end of the bitmap skip
// more, but a run-length picture over 2048 x 2048 may not claim more than 1024 pixels for
// each byte of its data (a 639-byte file asked for 167 million).
constexpr uint64_t kFreeRunLengthPixels = uint64_t{1} << 22;
constexpr uint64_t kRunLengthPixelsPerByte = 1024;

[[noreturn]] void invalid() { throw EInvalidGraphic(kInvalid); }

// The information header at `at`, whole in the bytes, of a size we know.
formats::bmp::InfoHeader read_header(std::span<const uint8_t> b, size_t at) {
    formats::bmp::InfoHeader h;
    if (at > b.size() ||
        formats::bmp::read_info_header(b.subspan(at), h) != formats::bmp::HeaderStatus::Ok)
        invalid();
    if (h.header_bytes > kMaxHeaderBytes || h.header_bytes > b.size() - at) invalid();
    if (h.height == INT32_MIN) invalid();
    // We do not decode the OS/2 2.x codings (Huffman 1D, RLE24).
    if (h.os2_v2_coding()) throw EInvalidGraphic("Unsupported bitmap compression");
    return h;
}

DibLayout layout_of(const formats::bmp::InfoHeader& h) {
    DibLayout layout;
    layout.header_bytes = h.header_bytes;
    layout.width = h.width;
    layout.height = static_cast<int32_t>(h.rows());
    layout.top_down = h.top_down();
    layout.bits = h.bits;
    layout.compression = h.compression;
    return layout;
}

// Default masks, or the ones the header or the three (four) words after it give. Returns
// where the colour table starts.
size_t read_masks(std::span<const uint8_t> b, size_t at, const formats::bmp::InfoHeader& h,
                  DibLayout& layout) {
    const size_t end = at + h.colours_at();
    if (end > b.size()) invalid();
    formats::bmp::read_masks(b.subspan(at + h.masks_at()), h, layout.masks);
    if (!formats::bmp::contiguous_masks(layout.masks)) invalid();
    return end;
}

void check_shape(const DibLayout& layout) {
    if (layout.width <= 0 || layout.height <= 0 || !formats::bmp::valid_depth(layout.bits))
        invalid();
    // The load limits' pixels also keep a forged RLE header (whose size the file cannot bound)
    // from taking all memory.
    if (uint64_t(layout.width) * uint64_t(layout.height) > platform::load_limits().max_pixels)
        throw EInvalidGraphic("Bitmap image is too large");
    const uint32_t c = layout.compression;
    if (c == kBiRle8 && layout.bits != 8) invalid();
    if (c == kBiRle4 && layout.bits != 4) invalid();
    if ((c == kBiRle8 || c == kBiRle4) && layout.top_down) invalid();
    if ((c == kBiBitfields || c == kBiAlphaBitfields) && layout.bits != 16 && layout.bits != 32)
        invalid();
    if (c != kBiRgb && c != kBiRle8 && c != kBiRle4 && c != kBiBitfields && c != kBiAlphaBitfields)
        throw EInvalidGraphic("Unsupported bitmap compression");
}

// The colour table: as many entries as the header says (all the depth can index when it says
// 0), cut to what lies before the rows.
void read_colours(std::span<const uint8_t> b, size_t table_at, uint32_t used, size_t pixel_offset,
                  DibLayout& layout) {
    if (layout.bits > 8) return;
    const size_t entry = layout.header_bytes == formats::bmp::kCoreHeaderBytes ? 3 : 4;
    const uint32_t full = 1u << layout.bits;
    size_t count = used == 0 || used > full ? full : used;
    if (pixel_offset > table_at) count = std::min(count, (pixel_offset - table_at) / entry);
    if (table_at + count * entry > b.size()) invalid();
    layout.colours.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = b.data() + table_at + i * entry;
        layout.colours[i] = RGBQUAD{p[0], p[1], p[2], 0};
    }
    if (pixel_offset <= table_at) layout.pixels_at = table_at + count * entry;
}

uint8_t channel(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const uint32_t v = (value & mask) >> shift;
    if (width >= 8) return static_cast<uint8_t>(v >> (width - 8));
    // Narrow channels widen by repeating their bits, so 5-bit 31 becomes 255.
    uint32_t wide = 0;
    int filled = 0;
    for (; filled < 8; filled += width) wide = (wide << width) | v;
    return static_cast<uint8_t>(wide >> (filled - 8));
}

void decode_masked_row(const uint8_t* in, uint8_t* out, const DibLayout& layout) {
    const bool wide = layout.bits == 32;
    for (int x = 0; x < layout.width; ++x, out += 3) {
        const uint8_t* p = in + x * (wide ? 4 : 2);
        const uint32_t v = wide ? formats::le32(p) : formats::le16(p);
        out[0] = channel(v, layout.masks[2]);
        out[1] = channel(v, layout.masks[1]);
        out[2] = channel(v, layout.masks[0]);
    }
}

void prepare(const DibLayout& layout, Bitmap& out, int bits) {
    out.set_pixel_format(format_for_bits(bits));
    out.set_size(layout.width, layout.height);
    if (bits <= 8) out.set_palette(layout.colours);
}

void decode_plain(std::span<const uint8_t> b, const DibLayout& layout, Bitmap& out) {
    const uint64_t row = stored_row_bytes(layout.bits, layout.width);
    if (layout.pixels_at > b.size() || row * layout.height > b.size() - layout.pixels_at) invalid();
    const bool masked = layout.bits == 16 || layout.bits == 32;
    prepare(layout, out, masked ? 24 : layout.bits);
    const size_t packed = (size_t(layout.width) * layout.bits + 7) / 8;
    for (int y = 0; y < layout.height; ++y) {
        const int file_row = layout.top_down ? y : layout.height - 1 - y;
        const uint8_t* in = b.data() + layout.pixels_at + row * file_row;
        if (masked) decode_masked_row(in, out.scanline(y), layout);
        else std::memcpy(out.scanline(y), in, packed);
    }
}

void decode_run_length(std::span<const uint8_t> b, const DibLayout& layout, Bitmap& out) {
    if (layout.pixels_at > b.size()) invalid();
    const uint64_t pixels = uint64_t(layout.width) * uint64_t(layout.height);
    if (pixels > kFreeRunLengthPixels &&
        pixels > kRunLengthPixelsPerByte * (b.size() - layout.pixels_at))
        throw EInvalidGraphic("Bitmap image is too large");
    const bool rle4 = layout.compression == kBiRle4;
    const std::vector<uint8_t> indexes =
        decode_rle(b.subspan(layout.pixels_at), layout.width, layout.height, rle4);
    prepare(layout, out, layout.bits);
    for (int y = 0; y < layout.height; ++y) {
        const uint8_t* in = indexes.data() + size_t(layout.height - 1 - y) * layout.width;
        uint8_t* row = out.scanline(y);
        for (int x = 0; x < layout.width; ++x) {
            if (!rle4) row[x] = in[x];
            else
                row[x / 2] =
                    static_cast<uint8_t>(row[x / 2] | (in[x] & 15) << (x % 2 == 0 ? 4 : 0));
        }
    }
}

}  // namespace

DibLayout read_layout(std::span<const uint8_t> bytes, size_t at, size_t pixel_offset) {
    const formats::bmp::InfoHeader h = read_header(bytes, at);
    DibLayout layout = layout_of(h);
    check_shape(layout);
    const bool masked = layout.bits == 16 || layout.bits == 32;
    const size_t table_at = masked ? read_masks(bytes, at, h, layout) : at + h.header_bytes;
    layout.pixels_at = std::max(pixel_offset, table_at);
    read_colours(bytes, table_at, h.colours_used, pixel_offset, layout);
    return layout;
}

void decode_pixels(std::span<const uint8_t> bytes, const DibLayout& layout, Bitmap& out) {
    if (layout.compression == kBiRle8 || layout.compression == kBiRle4)
        decode_run_length(bytes, layout, out);
    else decode_plain(bytes, layout, out);
}

}  // namespace quorvel::toolkit::dib
