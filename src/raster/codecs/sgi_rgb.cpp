// SGI image files (.rgb, .rgba): 1, 3 or 4 channels of one byte, verbatim or run-length.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "formats/run_length.h"
#include "formats/sgi_sizes.h"
#include "platform/limits.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using codec_io::FailWrite;
using codec_io::ImageRow;
using formats::be16;
using formats::be32;
using formats::ByteCursor;

constexpr uint16_t kSgiMagic = 474;
constexpr size_t kHeaderBytes = 512;

struct SgiHeader {
    uint16_t magic;
    uint8_t storage;
    uint8_t bytesPerChannel;
    uint16_t dimension;
    uint16_t xsize, ysize, zsize;
    int32_t colourMap;
};

SgiHeader parse_header(const uint8_t* b) {
    return SgiHeader{be16(b),     b[2],        b[3],         be16(b + 4),
                     be16(b + 6), be16(b + 8), be16(b + 10), static_cast<int32_t>(be32(b + 104))};
}

// Image byte that channel c of a z-channel file fills (blue, green, red, alpha order).
size_t channel_byte(size_t channel, size_t channels) {
    if (channels == 4) {
        static constexpr size_t kRgba[4] = {2, 1, 0, 3};
        return kRgba[channel];
    }
    return channels - 1 - channel;
}

BMGError read_verbatim(ByteCursor& in, BMGImage& img, size_t channels) {
    const size_t plane = static_cast<size_t>(img.width) * img.height;
    const uint8_t* data = in.take(plane * channels);
    if (data == nullptr) return BMG_ERR_READ_FILE;
    for (uint32_t y = 0; y < img.height; ++y) {
        uint8_t* row = ImageRow(img, y);
        for (size_t c = 0; c < channels; ++c) {
            const uint8_t* src = data + c * plane + static_cast<size_t>(y) * img.width;
            const size_t at = channel_byte(c, channels);
            for (uint32_t x = 0; x < img.width; ++x) row[x * channels + at] = src[x];
        }
    }
    return BMG_OK;
}

// One channel of one row into `plane`: packets up to the row's last byte, which must be the 0
// that ends them. Values past the row's width are dropped.
BMGError decode_row(const uint8_t* data, size_t length, std::vector<uint8_t>& plane) {
    if (length == 0 || data[length - 1] != 0) return BMG_ERR_FORMAT_OPTION;
    std::fill(plane.begin(), plane.end(), 0);
    const formats::RunResult r = formats::decode_sgi_rle({data, length - 1}, plane, 1);
    return r.status == formats::RunStatus::short_input ? BMG_ERR_FORMAT_OPTION : BMG_OK;
}

BMGError read_rle(ByteCursor& in, BMGImage& img, size_t channels) {
    const size_t entries = channels * img.height;
    std::vector<uint32_t> starts(entries), lengths(entries);
    std::vector<uint8_t> plane(img.width);
    for (uint32_t& s : starts) s = in.be32();
    for (uint32_t& l : lengths) l = in.be32();
    if (!in.ok()) return BMG_ERR_READ_FILE;
    for (uint32_t y = 0; y < img.height; ++y) {
        for (size_t c = 0; c < channels; ++c) {
            const size_t i = c * img.height + y;
            if (!in.seek(starts[i])) return BMG_ERR_READ_FILE;
            const uint8_t* data = in.take(lengths[i]);
            if (data == nullptr) return BMG_ERR_READ_FILE;
            if (BMGError e = decode_row(data, lengths[i], plane); e != BMG_OK) return e;
            uint8_t* out = ImageRow(img, y) + channel_byte(c, channels);
            for (uint32_t x = 0; x < img.width; ++x) out[x * channels] = plane[x];
        }
    }
    return BMG_OK;
}

BMGError read_sgi(ByteCursor& in, BMGImage* img) {
    const uint8_t* raw = in.take(kHeaderBytes);
    if (raw == nullptr) return BMG_ERR_READ_FILE;
    const SgiHeader h = parse_header(raw);
    if (h.magic != kSgiMagic || h.colourMap > 0 || h.bytesPerChannel == 2)
        return BMG_ERR_FORMAT_OPTION;
    // Two channels (gray and alpha) or more than four have no depth in the record.
    if (h.zsize != 1 && h.zsize != 3 && h.zsize != 4) return BMG_ERR_BITS_PER_PIXEL;

    // Verbatim data, or the two row tables, must fit in what is left of the file.
    const uint64_t rows = h.dimension == 1 ? 1 : h.ysize;
    const uint64_t needed =
        h.storage == 0 ? uint64_t{h.xsize} * rows * h.zsize : 8 * rows * h.zsize;
    if (needed > in.remaining()) return BMG_ERR_READ_FILE;
    const uint64_t pixels = uint64_t{h.xsize} * rows;
    if (h.storage != 0 &&
        !platform::size_plausible(pixels, pixels * h.zsize,
                                  formats::sgi_pixels_in_file(true, in.remaining(), h.zsize, 1)))
        return BMG_ERR_IMAGE_SIZE;

    img->width = h.xsize;
    img->height = h.dimension == 1 ? 1 : h.ysize;
    img->bitsPerPixel = static_cast<uint8_t>(8 * h.zsize);
    if (BMGError e = AllocateImageRecord(img); e != BMG_OK) return e;
    try {
        const BMGError e =
            h.storage == 0 ? read_verbatim(in, *img, h.zsize) : read_rle(in, *img, h.zsize);
        if (e != BMG_OK) return e;
    } catch (const std::bad_alloc&) {
        return BMG_ERR_NO_MEMORY;
    }
    if (img->bitsPerPixel == 8) codec_io::FillGrayRamp(*img);
    return BMG_OK;
}

}  // namespace

BMGError ReadSgiRgbFile(const char* filename, BMGImage* img) {
    return codec_io::ReadWholeFile(filename, img, read_sgi);
}

namespace {

void put16(std::vector<uint8_t>& b, size_t at, unsigned v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

std::vector<uint8_t> header_bytes(const char* filename, const BMGImage& img, unsigned channels) {
    std::vector<uint8_t> h(kHeaderBytes, 0);
    put16(h, 0, kSgiMagic);
    h[3] = 1;
    put16(h, 4, channels == 1 ? 2 : 3);
    put16(h, 6, img.width);
    put16(h, 8, img.height);
    put16(h, 10, channels);
    h[19] = 255;  // maximum pixel value, big-endian
    const size_t nameLength = std::min<size_t>(std::strlen(filename), 79);
    std::memcpy(&h[24], filename, nameLength);
    return h;
}

// The planes of an indexed image through its palette: one gray plane, or red, green, blue.
void indexed_planes(const BMGImage& img, const std::vector<uint8_t>& indexes, unsigned channels,
                    std::vector<uint8_t>& planes) {
    const size_t plane = indexes.size();
    for (size_t i = 0; i < plane; ++i) {
        const uint8_t v = indexes[i];
        const uint8_t* entry =
            v < img.paletteSize ? img.palette + v * img.paletteEntryBytes : nullptr;
        for (unsigned c = 0; c < channels; ++c)
            planes[c * plane + i] = entry != nullptr ? entry[2 - c] : 0;
    }
}

void direct_planes(const BMGImage& img, unsigned channels, std::vector<uint8_t>& planes) {
    const size_t plane = static_cast<size_t>(img.width) * img.height;
    static constexpr size_t kSource[4] = {2, 1, 0, 3};
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* row = ImageRow(img, y);
        for (unsigned c = 0; c < channels; ++c) {
            uint8_t* dst = planes.data() + c * plane + static_cast<size_t>(y) * img.width;
            for (uint32_t x = 0; x < img.width; ++x) dst[x] = row[x * channels + kSource[c]];
        }
    }
}

BMGError write_sgi(const char* filename, codec_io::OutputFile& out, const BMGImage& img) {
    const bool indexed = img.bitsPerPixel <= 8;
    const unsigned channels =
        indexed ? (codec_io::IsGrayPalette(img) ? 1 : 3) : (img.bitsPerPixel == 32 ? 4 : 3);
    const std::vector<uint8_t> header = header_bytes(filename, img, channels);
    if (!out.write(header.data(), header.size())) return BMG_ERR_WRITE_FILE;

    std::vector<uint8_t> planes;
    try {
        planes.assign(static_cast<size_t>(img.width) * img.height * channels, 0);
        if (indexed) {
            std::vector<uint8_t> indexes;
            if (!codec_io::UnpackIndexed(img, indexes)) return BMG_ERR_NO_MEMORY;
            indexed_planes(img, indexes, channels, planes);
        } else {
            direct_planes(img, channels, planes);
        }
    } catch (const std::bad_alloc&) {
        return BMG_ERR_NO_MEMORY;
    }
    if (!out.write(planes.data(), planes.size())) return BMG_ERR_WRITE_FILE;
    return out.close() ? BMG_OK : BMG_ERR_WRITE_FILE;
}

}  // namespace

BMGError WriteSgiRgbFile(const char* filename, BMGImage img) {
    return WriteSgiRgbFileAs(filename, filename, img);
}

BMGError WriteSgiRgbFileAs(const char* filename, const char* header_name, BMGImage img) {
    SetLastImageError(BMG_OK);
    if (BMGError e = codec_io::CheckWritableImage(img); e != BMG_OK) return FailWrite(e);
    if (filename == nullptr) return FailWrite(BMG_ERR_OPEN_FILE);
    codec_io::OutputFile out;
    if (!out.open(filename)) return FailWrite(BMG_ERR_OPEN_FILE);
    BMGImage source = img;
    if (img.bitsPerPixel == 16) {
        if (BMGError e = codec_io::WidenedCopy(img, source); e != BMG_OK) return FailWrite(e);
    }
    const BMGError e = write_sgi(header_name == nullptr ? filename : header_name, out, source);
    if (source.pixels != img.pixels) std::free(source.pixels);
    return e == BMG_OK ? BMG_OK : FailWrite(e);
}

}  // namespace quorvel::raster
