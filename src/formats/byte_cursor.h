// Bytes of a file in memory and the fixed-width fields in them: the one bounded cursor and the
// one set of endian reads every format parser uses. Nothing here reads outside its range: a
// field that does not fit reads as 0 and marks the cursor failed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace quorvel::formats {

// Fields at a pointer whose bytes the caller has already bounded (a header block taken whole).
inline uint16_t le16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }
inline uint32_t le32(const uint8_t* b) {
    return le16(b) | static_cast<uint32_t>(le16(b + 2)) << 16;
}
inline uint16_t be16(const uint8_t* b) { return static_cast<uint16_t>(b[0] << 8 | b[1]); }
inline uint32_t be32(const uint8_t* b) {
    return static_cast<uint32_t>(be16(b)) << 16 | be16(b + 2);
}
// In the order a file declares for itself (TIFF's "II" and "MM").
inline uint16_t u16(const uint8_t* b, bool big) { return big ? be16(b) : le16(b); }
inline uint32_t u32(const uint8_t* b, bool big) { return big ? be32(b) : le32(b); }

// Fields at an offset of a range: 0 when the field does not lie wholly inside it.
inline bool fits(std::span<const uint8_t> b, size_t at, size_t count) {
    return at <= b.size() && count <= b.size() - at;
}
inline uint8_t u8(std::span<const uint8_t> b, size_t at) { return at < b.size() ? b[at] : 0; }
inline uint16_t le16(std::span<const uint8_t> b, size_t at) {
    return fits(b, at, 2) ? le16(b.data() + at) : 0;
}
inline uint32_t le32(std::span<const uint8_t> b, size_t at) {
    return fits(b, at, 4) ? le32(b.data() + at) : 0;
}
inline uint16_t be16(std::span<const uint8_t> b, size_t at) {
    return fits(b, at, 2) ? be16(b.data() + at) : 0;
}
inline uint32_t be32(std::span<const uint8_t> b, size_t at) {
    return fits(b, at, 4) ? be32(b.data() + at) : 0;
}

// A read position over a range of bytes. A read, take, skip or seek that would pass the end
// does not happen: it marks the cursor failed (and stays so), reads return 0, take returns
// null, seek stops at the end. Header parsers read their fields and check ok() once.
// The cursor is a small value: copy it to look ahead without moving the original.
class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    ByteCursor(const uint8_t* data, size_t size) : bytes_(data, size) {}

    size_t size() const { return bytes_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool has(uint64_t count) const { return count <= remaining(); }
    bool ok() const { return !failed_; }
    std::span<const uint8_t> bytes() const { return bytes_; }
    std::span<const uint8_t> rest() const { return bytes_.subspan(pos_); }

    // Moves to `pos`; past the end it stops at the end and fails.
    bool seek(uint64_t pos) {
        if (pos <= bytes_.size()) {
            pos_ = static_cast<size_t>(pos);
            return true;
        }
        pos_ = bytes_.size();
        return fail();
    }
    bool skip(uint64_t count) {
        if (!has(count)) return fail();
        pos_ += static_cast<size_t>(count);
        return true;
    }
    // The next `count` bytes (and moves past them), or null when they are not all there.
    const uint8_t* take(uint64_t count) {
        if (!has(count)) {
            fail();
            return nullptr;
        }
        const uint8_t* at = bytes_.data() + pos_;
        pos_ += static_cast<size_t>(count);
        return at;
    }
    // The next `count` bytes as a cursor of their own (and moves past them); an empty, failed
    // cursor when they are not all there.
    ByteCursor sub(uint64_t count) {
        ByteCursor part;
        if (has(count)) part.bytes_ = bytes_.subspan(pos_, static_cast<size_t>(count));
        part.failed_ = !skip(count);
        return part;
    }
    // Copies the next `count` bytes; false (nothing copied) when they are not all there.
    bool read(void* out, size_t count) {
        if (!has(count)) return fail();
        if (count != 0) std::memcpy(out, take(count), count);
        return true;
    }
    // Copies up to `count` bytes and says how many there were; fewer is a failure.
    size_t read_some(void* out, size_t count) {
        const size_t n = std::min(count, remaining());
        read(out, n);
        if (n < count) fail();
        return n;
    }

    uint8_t u8() {
        return field<1>([](const uint8_t* b) { return b[0]; });
    }
    uint16_t le16() {
        return field<2>([](const uint8_t* b) { return formats::le16(b); });
    }
    uint32_t le32() {
        return field<4>([](const uint8_t* b) { return formats::le32(b); });
    }
    uint16_t be16() {
        return field<2>([](const uint8_t* b) { return formats::be16(b); });
    }
    uint32_t be32() {
        return field<4>([](const uint8_t* b) { return formats::be32(b); });
    }
    int8_t s8() { return static_cast<int8_t>(u8()); }
    int16_t sle16() { return static_cast<int16_t>(le16()); }
    int32_t sle32() { return static_cast<int32_t>(le32()); }
    int16_t sbe16() { return static_cast<int16_t>(be16()); }
    int32_t sbe32() { return static_cast<int32_t>(be32()); }

private:
    bool fail() {
        failed_ = true;
        return false;
    }
    template <size_t N, typename Load>
    auto field(Load load) -> decltype(load(nullptr)) {
        const uint8_t* b = take(N);
        return b != nullptr ? load(b) : 0;
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace quorvel::formats
