// A small TIFF file builder for the tests that need files no tool writes (ThunderScan, CCITT
// modified Huffman, damaged directories): entries and data blocks, either byte order.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace quorvel::readers::test {

class TiffBuilder {
public:
    explicit TiffBuilder(bool big_endian = false) : big_(big_endian) {}

    // SHORT or LONG values (type 3 or 4); values of more than 4 bytes go after the header.
    TiffBuilder& set(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
        entries_[tag] = Field{type, std::move(values), {}};
        return *this;
    }
    // BYTE/UNDEFINED values (type 1 or 7).
    TiffBuilder& set_bytes(uint16_t tag, uint16_t type, std::vector<uint8_t> bytes) {
        entries_[tag] = Field{type, {}, std::move(bytes)};
        return *this;
    }
    // A data block (a strip) placed after the directory; returns its index for strip().
    size_t add_block(std::vector<uint8_t> bytes) {
        blocks_.push_back(std::move(bytes));
        return blocks_.size() - 1;
    }
    // StripOffsets and StripByteCounts for every block added, in order.
    TiffBuilder& strips_from_blocks() {
        strip_tags_ = true;
        return *this;
    }
    // The next-directory offset written after the directory (0 ends the chain).
    TiffBuilder& next_ifd(uint32_t offset) {
        next_ = offset;
        return *this;
    }

    std::vector<uint8_t> build() const;

    static constexpr uint32_t kFirstIfd = 8;

private:
    struct Field {
        uint16_t type;
        std::vector<uint32_t> values;
        std::vector<uint8_t> bytes;
    };
    void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) const;
    void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) const;

    bool big_;
    std::map<uint16_t, Field> entries_;
    std::vector<std::vector<uint8_t>> blocks_;
    bool strip_tags_ = false;
    uint32_t next_ = 0;
};

inline void TiffBuilder::put16(std::vector<uint8_t>& out, size_t at, uint32_t v) const {
    if (out.size() < at + 2) out.resize(at + 2);
    out[at + (big_ ? 1 : 0)] = static_cast<uint8_t>(v);
    out[at + (big_ ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
}

inline void TiffBuilder::put32(std::vector<uint8_t>& out, size_t at, uint32_t v) const {
    put16(out, at + (big_ ? 2 : 0), v & 0xFFFF);
    put16(out, at + (big_ ? 0 : 2), v >> 16);
}

inline std::vector<uint8_t> TiffBuilder::build() const {
    std::map<uint16_t, Field> fields = entries_;
    // Block offsets are known once the directory and its outside values are laid out, so
    // reserve the strip entries first and fill them in below.
    if (strip_tags_) {
        fields[273] = Field{4, std::vector<uint32_t>(blocks_.size(), 0), {}};
        fields[279] = Field{4, std::vector<uint32_t>(blocks_.size(), 0), {}};
    }
    std::vector<uint8_t> out(8);
    out[0] = out[1] = big_ ? 'M' : 'I';
    put16(out, 2, 42);
    put32(out, 4, kFirstIfd);
    const size_t dir_bytes = 2 + 12 * fields.size() + 4;
    size_t data_at = kFirstIfd + dir_bytes;
    std::vector<uint8_t> extra;
    // Outside values and blocks: offsets first.
    std::map<uint16_t, size_t> value_offsets;
    for (auto& [tag, f] : fields) {
        const size_t size =
            f.bytes.empty() ? f.values.size() * (f.type == 3 ? 2 : 4) : f.bytes.size();
        if (size > 4)
            value_offsets[tag] = data_at + extra.size(),
            extra.resize(extra.size() + size + size % 2);
    }
    size_t block_at = data_at + extra.size();
    std::vector<size_t> block_offsets;
    for (const auto& block : blocks_) block_offsets.push_back(block_at), block_at += block.size();
    if (strip_tags_)
        for (size_t i = 0; i < blocks_.size(); ++i)
            fields[273].values[i] = static_cast<uint32_t>(block_offsets[i]),
            fields[279].values[i] = static_cast<uint32_t>(blocks_[i].size());
    out.resize(block_at);
    put16(out, kFirstIfd, static_cast<uint32_t>(fields.size()));
    size_t at = kFirstIfd + 2;
    for (auto& [tag, f] : fields) {
        const bool bytes = !f.bytes.empty();
        const size_t count = bytes ? f.bytes.size() : f.values.size();
        put16(out, at, tag);
        put16(out, at + 2, f.type);
        put32(out, at + 4, static_cast<uint32_t>(count));
        const auto it = value_offsets.find(tag);
        const size_t where = it != value_offsets.end() ? it->second : at + 8;
        if (it != value_offsets.end()) put32(out, at + 8, static_cast<uint32_t>(where));
        for (size_t i = 0; i < count; ++i) {
            if (bytes) {
                out[where + i] = f.bytes[i];
            } else if (f.type == 3) {
                put16(out, where + 2 * i, f.values[i]);
            } else {
                put32(out, where + 4 * i, f.values[i]);
            }
        }
        at += 12;
    }
    put32(out, at, next_);
    for (size_t i = 0; i < blocks_.size(); ++i)
        std::copy(blocks_[i].begin(), blocks_[i].end(),
                  out.begin() + static_cast<long>(block_offsets[i]));
    return out;
}

}  // namespace quorvel::readers::test
