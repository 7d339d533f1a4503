// A bounded cursor over the bytes of a file being read: little- and big-endian fields, every
// read checked against the end. Running out raises the family's stream-read message naming
// the format, so a truncated header or table can never be read past.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "readers/decoders/decoder.h"
#include "readers/graphic_ex.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {

class ByteView {
public:
    ByteView(std::span<const uint8_t> bytes, const char* format) : bytes_(bytes), format_(format) {}

    size_t size() const { return bytes_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool has(uint64_t count) const { return count <= remaining(); }
    std::span<const uint8_t> bytes() const { return bytes_; }
    std::span<const uint8_t> rest() const { return bytes_.subspan(pos_); }

    void seek(uint64_t pos) {
        if (pos > bytes_.size()) short_read();
        pos_ = static_cast<size_t>(pos);
    }
    void skip(uint64_t count) { take(count); }
    std::span<const uint8_t> take(uint64_t count) {
        if (!has(count)) short_read();
        const auto part = bytes_.subspan(pos_, static_cast<size_t>(count));
        pos_ += static_cast<size_t>(count);
        return part;
    }
    uint8_t u8() { return take(1)[0]; }
    uint16_t le16() {
        const auto b = take(2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    uint16_t be16() {
        const auto b = take(2);
        return static_cast<uint16_t>(b[0] << 8 | b[1]);
    }
    uint32_t le32() { return le16() | static_cast<uint32_t>(le16()) << 16; }
    uint32_t be32() { return static_cast<uint32_t>(be16()) << 16 | be16(); }

    [[noreturn]] void short_read() const {
        throw toolkit::EInvalidGraphic(toolkit::format_message(gesStreamReadError, format_));
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
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
