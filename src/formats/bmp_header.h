// The headers of Windows bitmaps: the 14-byte file header and the information header of every
// version (OS/2 1.x core 12 bytes, Windows 3 40, the 52- and 56-byte bit-field forms, OS/2 2.x
// 16 to 64, V4 108, V5 124), with where the masks and the colour table lie. The container's BMP
// codec and the toolkit's bitmap and icon classes read their files through it; each keeps its
// own rules on what it decodes, and maps the statuses to its own codes and messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::formats::bmp {

inline constexpr size_t kFileHeaderBytes = 14;
inline constexpr uint32_t kCoreHeaderBytes = 12;
inline constexpr uint32_t kInfoHeaderBytes = 40;
inline constexpr uint32_t kV5HeaderBytes = 124;
inline constexpr uint16_t kMagic = 0x4D42;  // "BM"

inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiRle8 = 1;
inline constexpr uint32_t kBiRle4 = 2;
inline constexpr uint32_t kBiBitfields = 3;
inline constexpr uint32_t kBiAlphaBitfields = 6;

struct FileHeader {
    uint16_t magic = 0;
    uint32_t pixel_offset = 0;  // from the start of the file
};

// The file header at the start of `b`; nothing when fewer than 14 bytes are there.
std::optional<FileHeader> read_file_header(std::span<const uint8_t> b);

struct InfoHeader {
    uint32_t header_bytes = 0;
    int32_t width = 0;
    int32_t height = 0;  // as stored: negative for rows from the top down
    uint16_t bits = 0;
    uint32_t compression = kBiRgb;
    uint32_t colours_used = 0;  // 0 when the header is too short to give it
    // Of a V5 header: the colour space type and where an embedded profile lies, counted from
    // the start of the header (0 otherwise).
    uint32_t colour_space = 0;
    uint32_t profile_offset = 0, profile_bytes = 0;

    bool core() const { return header_bytes == kCoreHeaderBytes; }
    bool top_down() const { return height < 0; }
    // Rows of the image (0 for a height no row count can be made of).
    uint32_t rows() const {
        return height == INT32_MIN ? 0 : static_cast<uint32_t>(height < 0 ? -height : height);
    }
    // OS/2 2.x headers share the first fields with Windows' but give compression codes 3 and
    // 4 other meanings (Huffman 1D, RLE24).
    bool os2_v2() const {
        return !core() && header_bytes != 40 && header_bytes != 52 && header_bytes != 56 &&
               header_bytes < 108;
    }
    bool os2_v2_coding() const { return os2_v2() && (compression == 3 || compression == 4); }
    bool bit_fields() const {
        return compression == kBiBitfields || compression == kBiAlphaBitfields;
    }
    size_t mask_count() const { return compression == kBiAlphaBitfields ? 4 : 3; }
    // Where the masks of a bit-field image lie, from the header's start: inside a header long
    // enough to hold them, else right after it.
    size_t masks_at() const {
        return header_bytes >= kInfoHeaderBytes + 4 * mask_count() ? kInfoHeaderBytes
                                                                   : header_bytes;
    }
    // Where the colour table starts, from the header's start (past masks that follow it).
    size_t colours_at() const {
        if (!bit_fields()) return header_bytes;
        const size_t masks_end = masks_at() + 4 * mask_count();
        return masks_end > header_bytes ? masks_end : header_bytes;
    }
    size_t colour_entry_bytes() const { return core() ? 3 : 4; }
};

enum class HeaderStatus { Ok, Short, BadSize };

// The information header at the start of `b`. Only its first 40 bytes (12 for a core header)
// need be there; the V5 profile fields are read when `b` holds them. A caller that wants the
// whole header in memory checks header_bytes against what it holds. Short when the size
// field or the fields of the first 40 bytes are cut off; BadSize for a size below 16 that is
// not the core header's.
HeaderStatus read_info_header(std::span<const uint8_t> b, InfoHeader& out);

// Depths a bitmap can have.
bool valid_depth(uint32_t bits);
// Width positive, some rows.
bool valid_size(const InfoHeader& h);

// The red, green, blue (and alpha) masks of a bit-field image from `b` (the bytes at
// masks_at(), mask_count() words), or the uncompressed layout's for 16 and 32 bits.
void read_masks(std::span<const uint8_t> b, const InfoHeader& h, uint32_t masks[4]);
void default_masks(uint16_t bits, uint32_t masks[4]);
// Each mask one run of bits (or none).
bool contiguous_masks(const uint32_t masks[4]);
// Red, green and blue masks that describe exactly the uncompressed layout of the depth.
bool standard_masks(const uint32_t masks[4], uint16_t bits);

// Entries of the colour table the header declares: colours_used, or all the depth can index
// when it says 0 (0 above 8 bits). Callers decide what a larger count means.
uint32_t declared_colours(const InfoHeader& h);

// Bytes of one stored row of `width` pixels at `bits`, padded to 4 bytes.
inline uint64_t stored_row_bytes(uint32_t bits, uint32_t width) {
    return ((uint64_t{width} * bits + 31) / 32) * 4;
}

}  // namespace quorvel::formats::bmp
