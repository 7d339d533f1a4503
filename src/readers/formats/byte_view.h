// The extended readers' view of the bytes being read: the format layer's bounded cursor, with
// running out raising the family's stream-read message naming the format, so a truncated
// header or table can never be read past.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "formats/byte_cursor.h"
#include "readers/decoders/decoder.h"
#include "readers/graphic_ex.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {

class ByteView {
public:
    ByteView(std::span<const uint8_t> bytes, const char* format) : in_(bytes), format_(format) {}

    size_t size() const { return in_.size(); }
    size_t position() const { return in_.position(); }
    size_t remaining() const { return in_.remaining(); }
    bool has(uint64_t count) const { return in_.has(count); }
    std::span<const uint8_t> bytes() const { return in_.bytes(); }
    std::span<const uint8_t> rest() const { return in_.rest(); }

    void seek(uint64_t pos) { checked(in_.seek(pos)); }
    void skip(uint64_t count) { checked(in_.skip(count)); }
    std::span<const uint8_t> take(uint64_t count) { return checked(in_.sub(count)).bytes(); }
    uint8_t u8() { return checked(in_.u8()); }
    uint16_t le16() { return checked(in_.le16()); }
    uint16_t be16() { return checked(in_.be16()); }
    uint32_t le32() { return checked(in_.le32()); }
    uint32_t be32() { return checked(in_.be32()); }

    [[noreturn]] void short_read() const {
        throw toolkit::EInvalidGraphic(toolkit::format_message(gesStreamReadError, format_));
    }

private:
    template <typename T>
    T checked(T value) const {
        if (!in_.ok()) short_read();
        return value;
    }

    formats::ByteCursor in_;
    const char* format_;
};

// Fills `row` with the next image bytes: copied, or through `decoder` (null for raw data).
// Data that ends first raises the stream-read message.
inline void read_coded(ByteView& in, TDecoder* decoder, std::span<uint8_t> row) {
    if (decoder == nullptr) {
        const auto raw = in.take(row.size());
        std::copy(raw.begin(), raw.end(), row.begin());
        return;
    }
    const DecodeResult r = decoder->decode(in.rest(), row);
    in.skip(r.consumed);
    if (r.produced < row.size()) in.short_read();
}

}  // namespace quorvel::readers
