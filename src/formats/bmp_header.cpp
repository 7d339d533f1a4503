#include "formats/bmp_header.h"

#include <algorithm>
#include <bit>

#include "formats/byte_cursor.h"

namespace quorvel::formats::bmp {
namespace {

constexpr uint32_t kLeastInfoHeaderBytes = 16;

// A field of the header, 0 when the header is too short to have it.
uint32_t field32(std::span<const uint8_t> b, uint32_t header, size_t offset) {
    return offset + 4 <= header ? le32(b, offset) : 0;
}

}  // namespace

std::optional<FileHeader> read_file_header(std::span<const uint8_t> b) {
    if (b.size() < kFileHeaderBytes) return std::nullopt;
    return FileHeader{le16(b, 0), le32(b, 10)};
}

HeaderStatus read_info_header(std::span<const uint8_t> b, InfoHeader& out) {
    if (b.size() < 4) return HeaderStatus::Short;
    InfoHeader h;
    h.header_bytes = le32(b, 0);
    if (h.core()) {
        if (b.size() < kCoreHeaderBytes) return HeaderStatus::Short;
        h.width = le16(b, 4);
        h.height = le16(b, 6);
        h.bits = le16(b, 10);
        out = h;
        return HeaderStatus::Ok;
    }
    if (h.header_bytes < kLeastInfoHeaderBytes) return HeaderStatus::BadSize;
    if (b.size() < std::min(h.header_bytes, kInfoHeaderBytes)) return HeaderStatus::Short;
    h.width = static_cast<int32_t>(le32(b, 4));
    h.height = static_cast<int32_t>(le32(b, 8));
    h.bits = le16(b, 14);
    h.compression = field32(b, h.header_bytes, 16);
    h.colours_used = field32(b, h.header_bytes, 32);
    if (h.header_bytes >= kV5HeaderBytes) {
        h.colour_space = le32(b, 56);
        h.profile_offset = le32(b, 112);
        h.profile_bytes = le32(b, 116);
    }
    out = h;
    return HeaderStatus::Ok;
}

bool valid_depth(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool valid_size(const InfoHeader& h) { return h.width > 0 && h.rows() > 0; }

void default_masks(uint16_t bits, uint32_t masks[4]) {
    const bool five = bits == 16;
    masks[0] = five ? 0x7C00 : 0xFF0000;
    masks[1] = five ? 0x03E0 : 0xFF00;
    masks[2] = five ? 0x001F : 0xFF;
    masks[3] = 0;
}

void read_masks(std::span<const uint8_t> b, const InfoHeader& h, uint32_t masks[4]) {
    if (!h.bit_fields()) return default_masks(h.bits, masks);
    for (size_t i = 0; i < 4; ++i) masks[i] = i < h.mask_count() ? le32(b, 4 * i) : 0;
}

bool contiguous_masks(const uint32_t masks[4]) {
    return std::all_of(masks, masks + 4, [](uint32_t mask) {
        const uint32_t shifted = mask == 0 ? 0 : mask >> std::countr_zero(mask);
        return (shifted & (shifted + 1)) == 0;
    });
}

bool standard_masks(const uint32_t masks[4], uint16_t bits) {
    if (bits != 16 && bits != 32) return false;
    uint32_t standard[4];
    default_masks(bits, standard);
    return std::equal(masks, masks + 3, standard);
}

uint32_t declared_colours(const InfoHeader& h) {
    if (h.bits > 8) return 0;
    return h.colours_used != 0 ? h.colours_used : 1u << h.bits;
}

}  // namespace quorvel::formats::bmp
