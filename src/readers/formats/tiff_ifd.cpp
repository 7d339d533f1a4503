#include "readers/formats/tiff_ifd.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "formats/byte_cursor.h"

namespace quorvel::readers::tiff {
namespace {

constexpr size_t kEntryBytes = 12;

// Inline values of a big-endian entry turned to host order, each in its own width.
void inline_to_host(Entry& entry, bool big) {
    const unsigned size = field_type_size(entry.type);
    if (!big || size < 2 || uint64_t{entry.count} * size > 4) return;
    for (unsigned at = 0; at + size <= 4; at += size) {
        if (size == 2) {
            const uint16_t v = formats::u16(entry.value + at, true);
            std::memcpy(entry.value + at, &v, 2);
        } else {
            const uint32_t v = formats::u32(entry.value + at, true);
            std::memcpy(entry.value + at, &v, 4);
        }
    }
}

}  // namespace

unsigned field_type_size(uint16_t type) {
    switch (type) {
        case ftByte:
        case ftAscii:
        case ftSByte:
        case ftUndefined:
            return 1;
        case ftShort:
        case ftSShort:
            return 2;
        case ftLong:
        case ftSLong:
        case ftFloat:
        case ftIfd:
            return 4;
        case ftRational:
        case ftSRational:
        case ftDouble:
            return 8;
        default:
            return 0;
    }
}

std::optional<Header> read_header(std::span<const uint8_t> file) {
    if (file.size() < 8) return std::nullopt;
    const bool little = file[0] == 'I' && file[1] == 'I';
    const bool big = file[0] == 'M' && file[1] == 'M';
    if (!little && !big) return std::nullopt;
    return Header{big, formats::u16(file.data() + 2, big), formats::u32(file.data() + 4, big)};
}

uint16_t Directory::read16(const uint8_t* p) const { return formats::u16(p, big_endian_); }
uint32_t Directory::read32(const uint8_t* p) const { return formats::u32(p, big_endian_); }

bool Directory::read(uint32_t offset) {
    entries_.clear();
    next_ = 0;
    if (uint64_t{offset} + 2 > file_.size()) return false;
    const unsigned count = read16(file_.data() + offset);
    if (uint64_t{offset} + 2 + uint64_t{count} * kEntryBytes + 4 > file_.size()) return false;
    const uint8_t* p = file_.data() + offset + 2;
    entries_.resize(count);
    for (Entry& entry : entries_) {
        entry.tag = read16(p);
        entry.type = read16(p + 2);
        entry.count = read32(p + 4);
        std::memcpy(entry.value, p + 8, 4);
        inline_to_host(entry, big_endian_);
        p += kEntryBytes;
    }
    next_ = read32(p);
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    return true;
}

uint64_t Directory::metadata_bytes() const {
    uint64_t bytes = 8 + 2 + entries_.size() * kEntryBytes + 4;
    for (const Entry& entry : entries_) {
        const uint64_t values = uint64_t{entry.count} * field_type_size(entry.type);
        if (values > 4) bytes += values;
    }
    return bytes;
}

const Entry* Directory::find(uint16_t tag) const {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), tag,
                                     [](const Entry& e, uint16_t t) { return e.tag < t; });
    return it != entries_.end() && it->tag == tag ? &*it : nullptr;
}

std::span<const uint8_t> Directory::value_bytes(const Entry& entry, uint32_t most) const {
    const uint64_t size = field_type_size(entry.type);
    const uint64_t stored = uint64_t{entry.count} * size;
    const uint64_t bytes = std::min(entry.count, most) * size;
    if (bytes == 0) return {};
    if (stored <= 4) return {entry.value, static_cast<size_t>(bytes)};
    const uint32_t offset = read32_offset(entry);
    if (offset > file_.size() || bytes > file_.size() - offset) return {};
    return file_.subspan(offset, static_cast<size_t>(bytes));
}

uint32_t Directory::read32_offset(const Entry& entry) const {
    // The offset was never converted: inline_to_host leaves entries with outside values alone.
    return formats::u32(entry.value, big_endian_);
}

uint32_t Directory::value_at(std::span<const uint8_t> bytes, uint16_t type, size_t index,
                             bool inline_host) const {
    const uint8_t* p = bytes.data() + index * field_type_size(type);
    uint16_t v16;
    uint32_t v32;
    switch (type) {
        case ftByte:
            return p[0];
        case ftShort:
            if (!inline_host) return read16(p);
            std::memcpy(&v16, p, 2);
            return v16;
        default:
            if (!inline_host) return read32(p);
            std::memcpy(&v32, p, 4);
            return v32;
    }
}

std::vector<uint32_t> Directory::values(uint16_t tag, uint32_t most) const {
    const Entry* entry = find(tag);
    if (entry == nullptr ||
        (entry->type != ftByte && entry->type != ftShort && entry->type != ftLong))
        return {};
    const std::span<const uint8_t> bytes = value_bytes(*entry, most);
    if (bytes.empty()) return {};
    const bool inline_host = bytes.data() == entry->value;
    std::vector<uint32_t> out(std::min(entry->count, most));
    for (size_t i = 0; i < out.size(); ++i) out[i] = value_at(bytes, entry->type, i, inline_host);
    return out;
}

uint32_t Directory::single(uint16_t tag, uint32_t fallback) const {
    const Entry* entry = find(tag);
    if (entry == nullptr || entry->count == 0) return fallback;
    if (entry->type != ftByte && entry->type != ftShort && entry->type != ftLong) return fallback;
    const std::span<const uint8_t> bytes = value_bytes(*entry);
    if (bytes.empty()) return fallback;
    return value_at(bytes, entry->type, 0, bytes.data() == entry->value);
}

std::vector<double> Directory::rationals(uint16_t tag) const {
    const Entry* entry = find(tag);
    if (entry == nullptr || entry->type != ftRational) return {};
    const std::span<const uint8_t> bytes = value_bytes(*entry);
    std::vector<double> out;
    for (size_t at = 0; at + 8 <= bytes.size(); at += 8) {
        const uint32_t numerator = read32(bytes.data() + at),
                       denominator = read32(bytes.data() + at + 4);
        out.push_back(denominator == 0 ? 0.0 : double(numerator) / denominator);
    }
    return out;
}

std::optional<uint32_t> find_directory(std::span<const uint8_t> file, const Header& header,
                                       int index) {
    std::set<uint32_t> visited;
    uint32_t offset = header.first_ifd;
    Directory directory(file, header.big_endian);
    for (int i = 0;; ++i) {
        if (offset == 0 || !visited.insert(offset).second || !directory.read(offset))
            return std::nullopt;
        if (i == index) return offset;
        offset = directory.next_offset();
    }
}

}  // namespace quorvel::readers::tiff
