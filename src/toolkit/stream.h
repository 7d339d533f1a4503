// A read-only byte range with a position: what every picture class loads from. Reads never
// pass the end; a short read says how much there was, so readers decide what a short file means.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace quorvel::toolkit {

class Stream {
public:
    Stream() = default;
    explicit Stream(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    // Moves to `pos`, clamped to the end.
    void seek(uint64_t pos) { pos_ = static_cast<size_t>(std::min<uint64_t>(pos, bytes_.size())); }
    // Copies up to `count` bytes; returns how many there were.
    size_t read(void* out, size_t count) {
        const size_t n = std::min(count, remaining());
        if (n != 0) std::memcpy(out, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    // The whole range and the part from the position on, for readers that parse in place.
    std::span<const uint8_t> bytes() const { return bytes_; }
    std::span<const uint8_t> rest() const { return bytes_.subspan(pos_); }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

}  // namespace quorvel::toolkit
