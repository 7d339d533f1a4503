// TIFF file structure as the extended TIFF reader reads it: the 8-byte header, the chain of
// image file directories, and one directory's entry table (host byte order, sorted by tag)
// with bounded lookups of its values. Every offset and count is checked against the bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvel::readers::tiff {

// Tags the reader consults.
enum Tag : uint16_t {
    tagImageWidth = 256,
    tagImageLength = 257,
    tagBitsPerSample = 258,
    tagCompression = 259,
    tagPhotometric = 262,
    tagFillOrder = 266,
    tagStripOffsets = 273,
    tagSamplesPerPixel = 277,
    tagRowsPerStrip = 278,
    tagStripByteCounts = 279,
    tagXResolution = 282,
    tagYResolution = 283,
    tagPlanarConfiguration = 284,
    tagT4Options = 292,
    tagResolutionUnit = 296,
    tagPredictor = 317,
    tagColorMap = 320,
    tagTileWidth = 322,
    tagTileLength = 323,
    tagExtraSamples = 338,
    tagSampleFormat = 339,
    tagJPEGTables = 347,
    tagYCbCrCoefficients = 529,
    tagYCbCrSubSampling = 530,
    tagYCbCrPositioning = 531,
};

// Field types of TIFF 6.0 (1 BYTE .. 13 IFD); others have no size and are never read.
enum FieldType : uint16_t {
    ftByte = 1,
    ftAscii = 2,
    ftShort = 3,
    ftLong = 4,
    ftRational = 5,
    ftSByte = 6,
    ftUndefined = 7,
    ftSShort = 8,
    ftSLong = 9,
    ftSRational = 10,
    ftFloat = 11,
    ftDouble = 12,
    ftIfd = 13,
};

// Bytes one value of the type takes (0 for an unknown type).
unsigned field_type_size(uint16_t type);

struct Header {
    bool big_endian = false;
    uint16_t version = 0;
    uint32_t first_ifd = 0;
};

// The header at the start of `file`: "II" or "MM" and at least 8 bytes, else nothing.
std::optional<Header> read_header(std::span<const uint8_t> file);

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint8_t value[4] = {};  // inline values in host order (each in its own width), or the offset
};

// One directory's entry table over the file it came from.
class Directory {
public:
    Directory(std::span<const uint8_t> file, bool big_endian)
        : file_(file), big_endian_(big_endian) {}

    // Reads the directory at `offset`; false when its table does not fit in the file.
    bool read(uint32_t offset);
    // Offset of the next directory (0 at the end of the chain).
    uint32_t next_offset() const { return next_; }

    // Bisection of the sorted table.
    const Entry* find(uint16_t tag) const;
    // The bytes of an entry's values (inline or at its offset), in file order; empty when
    // they do not lie inside the file or the type is unknown.
    std::span<const uint8_t> value_bytes(const Entry& entry, uint32_t most = UINT32_MAX) const;
    // All values of a BYTE, SHORT or LONG entry; empty for other types or bad offsets.
    // At most the first `most` of them (libtiff reads no more of a strip array than the image
    // has strips).
    std::vector<uint32_t> values(uint16_t tag, uint32_t most = UINT32_MAX) const;
    // The first value of a BYTE, SHORT or LONG entry, else `fallback`.
    uint32_t single(uint16_t tag, uint32_t fallback) const;
    // The rational values of an entry (numerator / denominator each); empty when absent.
    std::vector<double> rationals(uint16_t tag) const;

    uint16_t read16(const uint8_t* p) const;
    uint32_t read32(const uint8_t* p) const;
    bool big_endian() const { return big_endian_; }
    std::span<const uint8_t> file() const { return file_; }
    const std::vector<Entry>& entries() const { return entries_; }
    // The header, this directory and its values kept outside the table, in bytes: what
    // libtiff takes away from the file's size when it estimates a strip whose byte count is
    // missing or 0.
    uint64_t metadata_bytes() const;

private:
    uint32_t value_at(std::span<const uint8_t> bytes, uint16_t type, size_t index,
                      bool inline_host) const;
    uint32_t read32_offset(const Entry& entry) const;

    std::span<const uint8_t> file_;
    bool big_endian_;
    std::vector<Entry> entries_;
    uint32_t next_ = 0;
};

// The offset of directory `index` (0 = the first), following the chain from `first`; each
// offset is visited once, so a chain that loops ends. Nothing when there is no such directory.
std::optional<uint32_t> find_directory(std::span<const uint8_t> file, const Header& header,
                                       int index);

}  // namespace quorvel::readers::tiff
