#include "toolkit/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/limits.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit::dib {
namespace {

constexpr char kInvalid[] = "Bitmap image is not valid";
// Longest information header we accept (V5 is 124 bytes; the rest is for later versions).
constexpr uint32_t kMaxHeaderBytes = 4096;
constexpr uint32_t kCoreHeaderBytes = 12;
// A run gives at most 255 pixels for two bytes; deltas and an early end of the bitmap skip
// more, but a run-length picture over 2048 x 2048 may not claim more than 1024 pixels for
// each byte of its data (a 639-byte file asked for 167 million).
constexpr uint64_t kFreeRunLengthPixels = uint64_t{1} << 22;
constexpr uint64_t kRunLengthPixelsPerByte = 1024;

[[noreturn]] void invalid() { throw EInvalidGraphic(kInvalid); }

uint32_t le16(std::span<const uint8_t> b, size_t at) { return b[at] | (b[at + 1] << 8u); }
uint32_t le32(std::span<const uint8_t> b, size_t at) {
    return le16(b, at) | (le16(b, at + 2) << 16u);
}
// A field of the header, 0 when the header is too short to have it.
uint32_t field32(std::span<const uint8_t> b, size_t at, uint32_t header, uint32_t offset) {
    return offset + 4 <= header ? le32(b, at + offset) : 0;
}

bool valid_depth(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// OS/2 2.x headers share the first fields with Windows' but give compression codes 3 and 4
// other meanings (Huffman 1D, RLE24), which we do not decode.
bool is_os2_v2(uint32_t header) {
    return header != 40 && header != 52 && header != 56 && header < 108;
}

void read_core_header(std::span<const uint8_t> b, size_t at, DibLayout& layout) {
    if (at + kCoreHeaderBytes > b.size()) invalid();
    layout.width = static_cast<int32_t>(le16(b, at + 4));
    layout.height = static_cast<int32_t>(le16(b, at + 6));
    layout.bits = static_cast<uint16_t>(le16(b, at + 10));
}

void read_info_header(std::span<const uint8_t> b, size_t at, DibLayout& layout) {
    const uint32_t h = layout.header_bytes;
    if (h < 16 || h > kMaxHeaderBytes || at + h > b.size()) invalid();
    layout.width = static_cast<int32_t>(le32(b, at + 4));
    const auto height = static_cast<int32_t>(le32(b, at + 8));
    if (height == INT32_MIN) invalid();
    layout.top_down = height < 0;
    layout.height = height < 0 ? -height : height;
    layout.bits = static_cast<uint16_t>(le16(b, at + 14));
    layout.compression = field32(b, at, h, 16);
    if (is_os2_v2(h) && (layout.compression == 3 || layout.compression == 4))
        throw EInvalidGraphic("Unsupported bitmap compression");
}

// Default masks, or the ones the header or the three (four) words after it give.
size_t read_masks(std::span<const uint8_t> b, size_t at, DibLayout& layout) {
    size_t end = at + layout.header_bytes;
    const bool fields =
        layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields;
    if (!fields) {
        const bool five = layout.bits == 16;
        layout.masks[0] = five ? 0x7C00 : 0xFF0000;
        layout.masks[1] = five ? 0x03E0 : 0xFF00;
        layout.masks[2] = five ? 0x001F : 0xFF;
        return end;
    }
    const int count = layout.compression == kBiAlphaBitfields ? 4 : 3;
    size_t from = at + 40;
    if (layout.header_bytes < 40u + 4u * count) {
        from = end;
        end += 4u * count;
    }
    if (end > b.size()) invalid();
    for (int i = 0; i < count; ++i) layout.masks[i] = le32(b, from + 4u * i);
    return end;
}

void check_masks(const DibLayout& layout) {
    for (uint32_t mask : layout.masks) {
        const uint32_t shifted = mask == 0 ? 0 : mask >> std::countr_zero(mask);
        if ((shifted & (shifted + 1)) != 0) invalid();  // not one run of bits
    }
}

void check_shape(const DibLayout& layout) {
    if (layout.width <= 0 || layout.height <= 0 || !valid_depth(layout.bits)) invalid();
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
    const size_t entry = layout.header_bytes == kCoreHeaderBytes ? 3 : 4;
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
        const uint32_t v =
            wide ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24) : (p[0] | p[1] << 8);
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

uint64_t stored_row_bytes(uint32_t bits, uint32_t width) {
    return ((uint64_t{width} * bits + 31) / 32) * 4;
}

DibLayout read_layout(std::span<const uint8_t> bytes, size_t at, size_t pixel_offset) {
    if (at + 4 > bytes.size()) invalid();
    DibLayout layout;
    layout.header_bytes = le32(bytes, at);
    if (layout.header_bytes == kCoreHeaderBytes) read_core_header(bytes, at, layout);
    else read_info_header(bytes, at, layout);
    check_shape(layout);
    const bool masked = layout.bits == 16 || layout.bits == 32;
    const size_t table_at = masked ? read_masks(bytes, at, layout) : at + layout.header_bytes;
    check_masks(layout);
    layout.pixels_at = std::max(pixel_offset, table_at);
    const uint32_t used = layout.header_bytes >= 36 ? le32(bytes, at + 32) : 0;
    read_colours(bytes, table_at, used, pixel_offset, layout);
    return layout;
}

void decode_pixels(std::span<const uint8_t> bytes, const DibLayout& layout, Bitmap& out) {
    if (layout.compression == kBiRle8 || layout.compression == kBiRle4)
        decode_run_length(bytes, layout, out);
    else decode_plain(bytes, layout, out);
}

}  // namespace quorvel::toolkit::dib
