// Small files of the formats no tool here writes (RLA, CUT and its .pal, Autodesk PIC/CEL,
// Paint Shop Pro), built from the formats' descriptions for the reader tests.
#pragma once

#include <zlib.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "support/codec_test_helpers.h"

namespace quorvel::readers_test {

using codec_test::Bytes;

inline Bytes rla_header(int width, int height, int colour, int matte, const char* space) {
    Bytes b;
    b.be16(0).be16(width - 1).be16(0).be16(height - 1);  // window
    b.be16(0).be16(width - 1).be16(0).be16(height - 1);  // active window
    b.be16(1).be16(0).be16(colour).be16(matte).be16(0).be16(0xFFFE);
    b.text("2.2").fill(13, 0).fill(580 - 44, 0);
    b.text(space).fill(32 - std::strlen(space), 0).fill(658 - 612, 0).be16(8).be16(0).be16(8);
    return b.fill(740 - b.size(), 0);
}

// 3 x 2, RGB plus matte; the first line in the offset table is the bottom row.
inline Bytes rla_sample() {
    const std::vector<std::vector<uint8_t>> bottom = {
        {2, 10}, {0xFE, 1, 2, 0x00, 3}, {0xFD, 7, 8, 9}, {2, 255}};
    const std::vector<std::vector<uint8_t>> top = {{2, 50}, {2, 60}, {2, 70}, {0xFD, 0, 128, 255}};
    Bytes b = rla_header(3, 2, 3, 1, "rgb");
    const size_t table = b.size();
    b.be32(0).be32(0);
    for (const auto* line : {&bottom, &top}) {
        const size_t at = b.size();
        const size_t slot = table + (line == &bottom ? 0 : 4);
        for (int i = 0; i < 4; ++i) b.b[slot + i] = static_cast<uint8_t>(at >> (24 - 8 * i));
        for (const auto& channel : *line)
            b.be16(static_cast<unsigned>(channel.size())).raw(channel);
    }
    return b;
}

// CUT rows: a length word, then runs and literals ending at 0.
inline Bytes cut_file() {
    Bytes b;
    b.le16(4).le16(2).le16(0);
    b.le16(5).u8(0x83).u8(1).u8(0x01).u8(2).u8(0);        // 1 1 1 2
    b.le16(7).u8(0x02).u8(3).u8(4).u8(0x84).u8(5).u8(0);  // 3 4 5 5 (the run is cut at the row)
    return b;
}

inline Bytes halo_palette() {
    Bytes b;
    b.text("AH").le16(0).le16(0).u8('P').u8(0).le16(0).le16(0).le16(5).le16(63).le16(63).le16(63);
    b.text("Dr. Halo").fill(12, 0);
    for (int i = 0; i < 6; ++i) b.le16(i * 10).le16(63).le16(63 - i * 10);
    return b;
}

// 3 x 2 pixels after the 32-byte header and the 6-bit palette.
inline Bytes autodesk_sample() {
    Bytes b;
    b.le16(0x9119).le16(3).le16(2).le16(0).le16(0).u8(8).u8(0).le32(6).fill(16, 0);
    b.u8(63).u8(0).u8(10);  // entry 0
    b.u8(1).u8(2).u8(3);    // entry 1
    b.fill(254 * 3, 0);
    b.u8(0).u8(1).u8(0).u8(1).u8(1).u8(0);
    return b;
}

enum Compression { kNone = 0, kRle = 1, kLz77 = 2, kJpeg = 3 };

struct PspBuilder {
    unsigned major;

    // A block whose first chunk holds `fields` (measured as each version measures it),
    // followed by `rest`; banks have no chunk.
    Bytes block(unsigned id, const Bytes& fields, const Bytes& rest, bool chunked = true) const {
        Bytes b;
        b.text("~BK").u8(0).le16(id);
        const uint32_t chunk =
            static_cast<uint32_t>(fields.size()) + (major > 3 && chunked ? 4 : 0);
        if (major == 3) b.le32(static_cast<uint32_t>(fields.size()));
        b.le32(chunk + static_cast<uint32_t>(rest.size()));
        if (major > 3 && chunked) b.le32(chunk);
        return b.raw(fields.b).raw(rest.b);
    }
    Bytes image(int width, int height, unsigned compression, unsigned depth, bool grey) const {
        Bytes f;
        f.le32(width).le32(height);
        const double dpi = 40.0;
        uint8_t raw[8];
        std::memcpy(raw, &dpi, 8);
        for (uint8_t v : raw) f.u8(v);
        f.u8(2)
            .le16(compression)
            .le16(depth)
            .le16(1)
            .le32(depth == 24 ? 0 : 1u << depth)
            .u8(grey)
            .le32(0)
            .le32(0)
            .le16(1);
        if (major > 3) f.le32(1);
        return block(0, f, {});
    }
    Bytes palette(const std::vector<std::array<uint8_t, 3>>& rgb) const {
        Bytes f, rest;
        f.le32(static_cast<uint32_t>(rgb.size()));
        for (const auto& c : rgb) rest.u8(c[2]).u8(c[1]).u8(c[0]).u8(0);
        return block(2, f, rest);
    }
    Bytes channel(unsigned type, const std::vector<uint8_t>& packed, size_t unpacked,
                  unsigned bitmap_type = 0) const {
        Bytes f, data;
        f.le32(static_cast<uint32_t>(packed.size()))
            .le32(static_cast<uint32_t>(unpacked))
            .le16(bitmap_type)
            .le16(type);
        return block(5, f, data.raw(packed));
    }
    // A layer's saved rectangle (its image rectangle too), opacity, visibility and type.
    struct Layer {
        int left, top, width, height;
        unsigned opacity = 255;
        bool visible = true;
        unsigned type = 1;
    };
    Bytes layer(const Layer& l, const Bytes& channels, unsigned count) const {
        Bytes f, rest;
        if (major == 3) f.text("Layer").fill(251, 0);
        else f.le16(5).text("Layer");
        f.u8(l.type);
        for (int i = 0; i < 2; ++i)
            f.le32(l.left).le32(l.top).le32(l.left + l.width).le32(l.top + l.height);
        f.u8(l.opacity).u8(0).u8(l.visible ? 1 : 0).fill(21, 0);
        Bytes bitmap_info;
        if (major > 3) bitmap_info.le32(8);
        bitmap_info.le16(1).le16(count);
        if (major == 3) f.raw(bitmap_info.b);
        else rest.raw(bitmap_info.b);
        rest.raw(channels.b);
        return block(4, f, rest);
    }
    Bytes bank(const Bytes& layers) const { return block(3, {}, layers, false); }
    Bytes layer_bank(int width, int height, const Bytes& channels, unsigned count) const {
        return bank(layer({0, 0, width, height}, channels, count));
    }
    std::vector<uint8_t> file(const Bytes& body) const {
        Bytes b;
        b.text("Paint Shop Pro Image File\n").u8(0x1A).fill(5, 0).le16(major).le16(0);
        return b.raw(body.b).b;
    }
};

inline std::vector<uint8_t> compress(const std::vector<uint8_t>& plane, unsigned how) {
    if (how == kNone) return plane;
    if (how == kRle) {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < plane.size(); i += 4) {
            out.push_back(0x80 + 1);  // one repeat, then three literals: both kinds of code
            out.push_back(plane[i]);
            out.push_back(3);
            out.insert(out.end(), plane.begin() + static_cast<long>(i) + 1,
                       plane.begin() + static_cast<long>(i) + 4);
        }
        return out;
    }
    uLongf size = compressBound(plane.size());
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, plane.data(), plane.size(), 9);
    out.resize(size);
    return out;
}

// 3 x 2 pixels; channel rows padded to 4 bytes.
inline const std::vector<uint8_t> kRed = {10, 20, 30, 0, 40, 50, 60, 0};
inline const std::vector<uint8_t> kGreen = {1, 2, 3, 0, 4, 5, 6, 0};
inline const std::vector<uint8_t> kBlue = {9, 9, 9, 0, 7, 7, 7, 0};

}  // namespace quorvel::readers_test
