// Animator CEL still pictures, and the first frame of FLI and FLC animations.
#include <algorithm>
#include <cstring>

#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using codec_io::ImageRow;
using formats::ByteCursor;
using formats::le16;

constexpr uint16_t kStillMagic = 0x9119;
constexpr uint16_t kFliMagic = 0xAF11;
constexpr uint16_t kFlcMagic = 0xAF12;
constexpr size_t kStillHeaderBytes = 32;
constexpr size_t kFlicHeaderBytes = 128;
constexpr size_t kChunkHeaderBytes = 16;
constexpr size_t kSubChunkHeaderBytes = 6;
constexpr uint16_t kPrefixChunk = 0xF100;
constexpr uint16_t kFrameChunk = 0xF1FA;

enum SubChunk : uint16_t {
    kColour256 = 4,
    kDeltaFlc = 7,
    kColour64 = 11,
    kDeltaFli = 12,
    kBlack = 13,
    kByteRun = 15,
    kLiteral = 16,
    kPostageStamp = 18,
};

BMGError allocate_8bit(BMGImage* img, uint16_t width, uint16_t height) {
    img->width = width;
    img->height = height;
    img->bitsPerPixel = 8;
    img->paletteSize = 256;
    return AllocateImageRecord(img);
}

BMGError read_still(ByteCursor& in, BMGImage* img) {
    const uint8_t* h = in.take(kStillHeaderBytes);
    if (h == nullptr) return BMG_ERR_READ_FILE;
    if (le16(h) != kStillMagic || h[10] != 8 || h[11] != 0) return BMG_ERR_FORMAT_OPTION;
    if (768 + uint64_t{le16(h + 2)} * le16(h + 4) > in.remaining()) return BMG_ERR_READ_FILE;
    if (BMGError e = allocate_8bit(img, le16(h + 2), le16(h + 4)); e != BMG_OK) return e;
    const uint8_t* rgb = in.take(768);
    if (rgb == nullptr) return BMG_ERR_READ_FILE;
    for (size_t i = 0; i < 256; ++i)
        codec_io::SetPaletteEntry(*img, i, static_cast<uint8_t>(rgb[3 * i] * 4),
                                  static_cast<uint8_t>(rgb[3 * i + 1] * 4),
                                  static_cast<uint8_t>(rgb[3 * i + 2] * 4));
    for (uint32_t r = 0; r < img->height; ++r)
        if (!in.read(ImageRow(*img, img->height - 1 - r), img->width)) return BMG_ERR_READ_FILE;
    return BMG_OK;
}

// Packets of skip and count bytes; entries past the palette's end are read and dropped.
BMGError read_colours(ByteCursor p, bool sixtyFourLevels, BMGImage& img) {
    const unsigned packets = p.le16();
    for (size_t k = 0, index = 0; k < packets && p.ok(); ++k) {
        index += p.u8();
        const uint8_t count = p.u8();
        const size_t entries = count == 0 ? 256 : count;
        const uint8_t* rgb = p.take(entries * 3);
        if (rgb == nullptr) return BMG_ERR_CORRUPT_FILE;
        const unsigned scale = sixtyFourLevels ? 4 : 1;
        for (size_t e = 0; e < entries; ++e, ++index, rgb += 3)
            codec_io::SetPaletteEntry(img, index, static_cast<uint8_t>(rgb[0] * scale),
                                      static_cast<uint8_t>(rgb[1] * scale),
                                      static_cast<uint8_t>(rgb[2] * scale));
    }
    return p.ok() && p.remaining() == 0 ? BMG_OK : BMG_ERR_CORRUPT_FILE;
}

// Rows of packets from the top; runs past a row's end are cut there.
BMGError read_byte_run(ByteCursor p, BMGImage& img) {
    for (uint32_t r = 0; r < img.height; ++r) {
        uint8_t* row = ImageRow(img, img.height - 1 - r);
        if (!p.skip(1)) return BMG_ERR_CORRUPT_FILE;  // the packet count, unused
        for (uint32_t x = 0; x < img.width;) {
            const int n = p.s8();
            if (!p.ok()) return BMG_ERR_CORRUPT_FILE;
            if (n > 0) {
                const uint8_t value = p.u8();
                if (!p.ok()) return BMG_ERR_CORRUPT_FILE;
                const uint32_t kept = std::min<uint32_t>(static_cast<uint32_t>(n), img.width - x);
                std::memset(row + x, value, kept);
                x += kept;
            } else {
                const size_t count = static_cast<size_t>(-n);
                const uint8_t* literal = p.take(count);
                if (literal == nullptr) return BMG_ERR_CORRUPT_FILE;
                const size_t kept = std::min<size_t>(count, img.width - x);
                std::memcpy(row + x, literal, kept);
                x += static_cast<uint32_t>(kept);
            }
        }
    }
    return p.remaining() <= 1 ? BMG_OK : BMG_ERR_CORRUPT_FILE;
}

BMGError read_literal(ByteCursor p, BMGImage& img) {
    if (p.size() != static_cast<size_t>(img.width) * img.height) return BMG_ERR_CORRUPT_FILE;
    for (uint32_t r = 0; r < img.height; ++r)
        std::memcpy(ImageRow(img, img.height - 1 - r), p.take(img.width), img.width);
    return BMG_OK;
}

struct FrameProgress {
    bool palette = false;
    bool image = false;
};

BMGError read_sub_chunk(uint16_t type, ByteCursor payload, BMGImage& img, FrameProgress& done) {
    switch (type) {
        case kColour256:
        case kColour64:
            done.palette = true;
            return read_colours(payload, type == kColour64, img);
        case kDeltaFlc:
        case kDeltaFli:
        case kPostageStamp:
            return BMG_OK;
        case kBlack:
            done.image = true;
            for (uint32_t y = 0; y < img.height; ++y) std::memset(ImageRow(img, y), 0, img.width);
            return BMG_OK;
        case kByteRun:
            done.image = true;
            return read_byte_run(payload, img);
        case kLiteral:
            done.image = true;
            return read_literal(payload, img);
        default:
            return BMG_ERR_FORMAT_OPTION;
    }
}

// The sub-chunks of one frame chunk whose header has been read; `end` is the chunk's end.
BMGError read_frame(ByteCursor& in, uint16_t count, size_t end, BMGImage& img,
                    FrameProgress& done) {
    for (uint16_t k = 0; k < count && !(done.palette && done.image); ++k) {
        const size_t start = in.position();
        const uint32_t size = in.le32();
        const uint16_t type = in.le16();
        if (!in.ok()) return BMG_ERR_READ_FILE;
        if (size < kSubChunkHeaderBytes || size > end - start) return BMG_ERR_CORRUPT_FILE;
        const ByteCursor payload = in.sub(size - kSubChunkHeaderBytes);
        if (!in.ok()) return BMG_ERR_READ_FILE;
        if (BMGError e = read_sub_chunk(type, payload, img, done); e != BMG_OK) return e;
    }
    return BMG_OK;
}

// True when the `count` sub-chunks from the position of `in` (a copy) all end by `end`.
bool sub_chunks_fit(ByteCursor in, uint16_t count, size_t end) {
    bool fit = true;
    for (uint16_t k = 0; k < count && fit; ++k) {
        const size_t start = in.position();
        const uint32_t size = in.le32();
        fit =
            in.ok() && size >= kSubChunkHeaderBytes && size <= end - start && in.seek(start + size);
    }
    return fit;
}

// A frame whose header has been read, `declared` bytes from `start`. Writers pad a frame to an
// even size and a file may end without the pad: a frame that runs past the end is read when
// all its sub-chunks are in the file, and then nothing follows it.
BMGError read_frame_chunk(ByteCursor& in, size_t start, uint32_t declared, uint16_t count,
                          BMGImage& img, FrameProgress& done) {
    if (declared <= in.size() - start) return read_frame(in, count, start + declared, img, done);
    if (!sub_chunks_fit(in, count, in.size())) return BMG_ERR_READ_FILE;
    if (BMGError e = read_frame(in, count, in.size(), img, done); e != BMG_OK) return e;
    return done.image ? BMG_OK : BMG_ERR_READ_FILE;
}

// Whether the pixel sub-chunk the first frame starts with can fill width x height pixels.
// A BLACK chunk clears a frame of any size in six bytes: it passes, and the load limits bound it.
bool picture_chunk_fits(uint16_t type, uint64_t payload, uint64_t width, uint64_t height) {
    switch (type) {
        case kByteRun:  // a row: its packet count byte, then runs of two bytes for 127 pixels at
                        // most
            return height * (1 + 2 * ((width + 126) / 127)) <= payload;
        case kLiteral:  // every pixel stored (a size that differs otherwise is read_literal's to
                        // refuse)
            return width * height <= payload;
        default:
            return type == kBlack;
    }
}

// The walk read_animation makes, without a picture: chunks until the first frame's first
// pixel sub-chunk, whose size must be able to fill the frame. It walks a copy of the cursor.
BMGError first_picture_plausible(ByteCursor in, uint16_t width, uint16_t height) {
    if (width == 0 || height == 0) return BMG_OK;  // no picture: allocate_8bit refuses the size
    BMGError result = BMG_ERR_READ_FILE;           // the file ends before a pixel sub-chunk
    for (bool found = false; !found;) {
        const size_t start = in.position();
        const uint32_t size = in.le32();
        const uint16_t type = in.le16(), count = in.le16();
        if (!in.skip(8) || !in.ok()) break;
        if (size < kChunkHeaderBytes) {
            result = BMG_ERR_CORRUPT_FILE;
            break;
        }
        const size_t end = size <= in.size() - start ? start + size : in.size();
        if (type == kFrameChunk && (size <= in.size() - start || sub_chunks_fit(in, count, end))) {
            for (uint16_t k = 0; k < count && !found; ++k) {
                const size_t at = in.position();
                const uint32_t sub = in.le32();
                const uint16_t kind = in.le16();
                if (!in.ok()) {
                    found = true;
                } else if (sub < kSubChunkHeaderBytes || sub > end - at) {
                    found = true;  // as read_frame refuses it
                    result = BMG_ERR_CORRUPT_FILE;
                } else if (kind == kBlack || kind == kByteRun || kind == kLiteral) {
                    found = true;
                    result = picture_chunk_fits(kind, sub - kSubChunkHeaderBytes, width, height)
                                 ? BMG_OK
                                 : BMG_ERR_IMAGE_SIZE;
                } else if (kind == kColour256 || kind == kColour64 || kind == kDeltaFlc ||
                           kind == kDeltaFli || kind == kPostageStamp) {
                    in.seek(at +
                            sub);  // no pixels of the first frame: read_sub_chunk passes over them
                } else {
                    found = true;  // as read_sub_chunk refuses it
                    result = BMG_ERR_FORMAT_OPTION;
                }
            }
        } else if (type == kFrameChunk || size > in.size() - start) {
            break;
        }
        if (!in.seek(start + size)) break;
    }
    return result;
}

BMGError read_animation(ByteCursor& in, BMGImage* img) {
    const uint8_t* h = in.take(kFlicHeaderBytes);
    if (h == nullptr) return BMG_ERR_READ_FILE;
    const uint16_t magic = le16(h + 4);
    if ((magic != kFliMagic && magic != kFlcMagic) || le16(h + 12) != 8)
        return BMG_ERR_FORMAT_OPTION;
    if (BMGError e = first_picture_plausible(in, le16(h + 8), le16(h + 10)); e != BMG_OK) return e;
    if (BMGError e = allocate_8bit(img, le16(h + 8), le16(h + 10)); e != BMG_OK) return e;

    // Chunks until the first frame that carries pixels; other file-level chunks are passed over.
    FrameProgress done;
    while (!done.image) {
        const size_t start = in.position();
        const uint32_t size = in.le32();
        const uint16_t type = in.le16(), count = in.le16();
        if (!in.skip(8) || !in.ok()) return BMG_ERR_READ_FILE;
        if (size < kChunkHeaderBytes) return BMG_ERR_CORRUPT_FILE;
        if (type == kFrameChunk) {
            if (BMGError e = read_frame_chunk(in, start, size, count, *img, done); e != BMG_OK)
                return e;
        } else if (size > in.size() - start) {
            return BMG_ERR_READ_FILE;
        }
        in.seek(start + size);
    }
    return BMG_OK;
}

// Tells the kind from the first bytes: 1 still picture, 2 animation, 0 neither.
int file_kind(ByteCursor& in) {
    const uint16_t first = in.le16();
    if (!in.ok()) return -1;
    if (first == kStillMagic) return 1;
    in.skip(2);
    const uint16_t magic = in.le16();
    if (!in.ok()) return -1;
    return magic == kFliMagic || magic == kFlcMagic ? 2 : 0;
}

BMGError read_cel(ByteCursor& in, BMGImage* img) {
    const int kind = file_kind(in);
    if (kind < 0) return BMG_ERR_READ_FILE;
    if (kind == 0) return BMG_ERR_FORMAT_OPTION;
    in.seek(0);
    return kind == 1 ? read_still(in, img) : read_animation(in, img);
}

}  // namespace

BMGError ReadCelFile(const char* filename, BMGImage* img) {
    return codec_io::ReadWholeFile(filename, img, read_cel);
}

}  // namespace quorvel::raster
