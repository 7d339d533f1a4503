// PCX (ZSoft Paintbrush) reader: run-length encoded scanlines holding the planes of each row
// one after the other.
#include <algorithm>
#include <new>
#include <span>
#include <vector>

#include "formats/run_length.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using codec_io::ImageRow;
using formats::ByteCursor;

constexpr size_t kHeaderBytes = 128;
constexpr size_t kTrailerBytes = 769;  // marker 12 and 256 entries of red, green, blue
constexpr uint8_t kPaletteMarker = 12;

struct PcxHeader {
    uint8_t manufacturer;
    uint8_t version;
    uint8_t encoding;
    uint8_t bitsPerPixel;
    uint16_t xmin, ymin, xmax, ymax;
    const uint8_t* palette16;
    uint8_t planes;
    uint16_t bytesPerLine;
    uint16_t paletteInfo;
};

PcxHeader parse_header(const uint8_t* b) {
    using formats::le16;
    return PcxHeader{b[0],        b[1],         b[2],   b[3],  le16(b + 4),  le16(b + 6),
                     le16(b + 8), le16(b + 10), b + 16, b[65], le16(b + 66), le16(b + 68)};
}

// Planes of one bit each (the 8- and 16-colour planar layout) combine into 4-bit indexes.
bool bit_planar(const PcxHeader& h) {
    return h.bitsPerPixel == 1 && h.planes >= 2 && h.planes <= 4;
}

// Depth of the record for the layouts we read: one plane of 1, 4 or 8 bits, three or four
// byte planes (red, green, blue and alpha), or bit planes. 0 for anything else.
uint8_t image_depth(const PcxHeader& h) {
    if (bit_planar(h)) return 4;
    if (h.planes == 1 && (h.bitsPerPixel == 1 || h.bitsPerPixel == 4 || h.bitsPerPixel == 8))
        return h.bitsPerPixel;
    if (h.bitsPerPixel == 8 && (h.planes == 3 || h.planes == 4))
        return static_cast<uint8_t>(8 * h.planes);
    return 0;
}

BMGError check_header(const PcxHeader& h) {
    if (h.manufacturer != 10 || h.encoding != 1) return BMG_ERR_FORMAT_OPTION;
    if (image_depth(h) == 0) return BMG_ERR_BITS_PER_PIXEL;
    if (h.xmax < h.xmin || h.ymax < h.ymin) return BMG_ERR_IMAGE_SIZE;
    const uint32_t width = static_cast<uint32_t>(h.xmax - h.xmin) + 1;
    // Every plane row must hold the pixels of the row.
    if (h.bytesPerLine < codec_io::PackedRowBytes(h.bitsPerPixel, width))
        return BMG_ERR_CORRUPT_FILE;
    return BMG_OK;
}

// The 256-entry palette at the file's end; FORMAT_OPTION when its marker is not there.
BMGError read_trailer_palette(const ByteCursor& in, BMGImage& img) {
    if (in.size() < kHeaderBytes + kTrailerBytes) return BMG_ERR_FORMAT_OPTION;
    const uint8_t* t = in.bytes().last(kTrailerBytes).data();
    if (t[0] != kPaletteMarker) return BMG_ERR_FORMAT_OPTION;
    for (size_t i = 0; i < 256; ++i)
        codec_io::SetPaletteEntry(img, i, t[1 + 3 * i], t[2 + 3 * i], t[3 + 3 * i]);
    return BMG_OK;
}

BMGError fill_palette(const ByteCursor& in, const PcxHeader& h, BMGImage& img) {
    if (h.bitsPerPixel == 8 && h.planes == 1) {
        if (h.version == 5) return read_trailer_palette(in, img);
        // Older files have no palette of their own: the trailer when one is there, else gray.
        if (read_trailer_palette(in, img) == BMG_OK) return BMG_OK;
        codec_io::FillGrayRamp(img);
        return BMG_OK;
    }
    if (h.bitsPerPixel >= 8) return BMG_OK;
    // Writers often leave a 1-bit file's header palette empty (both entries one colour): such
    // a file is black and white, as when the palette information says so.
    const bool samePair = std::equal(h.palette16, h.palette16 + 3, h.palette16 + 3);
    if (img.bitsPerPixel == 1 && (h.paletteInfo == 0 || samePair)) {
        codec_io::SetPaletteEntry(img, 1, 255, 255, 255);
        return BMG_OK;
    }
    for (size_t i = 0; i < std::min<size_t>(img.paletteSize, 16); ++i)
        codec_io::SetPaletteEntry(img, i, h.palette16[3 * i], h.palette16[3 * i + 1],
                                  h.palette16[3 * i + 2]);
    return BMG_OK;
}

// One scanline, all planes: runs may run on from one plane into the next, but never into the
// next scanline (each line starts a fresh run, dropping what was left).
bool decode_line(ByteCursor& in, std::vector<uint8_t>& line) {
    formats::PcxRun run;
    const formats::RunResult r = formats::decode_pcx_rle(in.rest(), line, run);
    in.skip(r.consumed);
    return r.status == formats::RunStatus::ok;
}

// Byte planes (8 bits each, or one plane of 1, 4 or 8 bits) into the image row.
void store_byte_planes(const std::vector<uint8_t>& line, const PcxHeader& h, uint8_t* row,
                       uint32_t width) {
    const size_t n = h.planes;
    if (n == 1) {
        std::copy_n(line.begin(), codec_io::PackedRowBytes(h.bitsPerPixel, width), row);
        return;
    }
    // Red, green, blue (and alpha) planes into blue, green, red, alpha bytes.
    static constexpr size_t kByteOf[4] = {2, 1, 0, 3};
    for (size_t p = 0; p < n; ++p) {
        const uint8_t* plane = line.data() + p * h.bytesPerLine;
        const size_t at = n == 4 ? kByteOf[p] : n - 1 - p;
        for (uint32_t x = 0; x < width; ++x) row[x * n + at] = plane[x];
    }
}

// One-bit planes: bit x of plane p is bit p of pixel x's index.
void store_bit_planes(const std::vector<uint8_t>& line, const PcxHeader& h, uint8_t* row,
                      uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        unsigned index = 0;
        for (size_t p = 0; p < h.planes; ++p) {
            const uint8_t byte = line[p * h.bytesPerLine + x / 8];
            index |= ((byte >> (7 - x % 8)) & 1u) << p;
        }
        row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
}

BMGError read_pcx(ByteCursor& in, BMGImage* img) {
    const uint8_t* raw = in.take(kHeaderBytes);
    if (raw == nullptr) return BMG_ERR_READ_FILE;
    const PcxHeader h = parse_header(raw);
    if (BMGError e = check_header(h); e != BMG_OK) return e;

    // A file too short for its scanlines is a short read.
    const uint64_t lineBytes =
        uint64_t{h.bytesPerLine} * h.planes * (uint64_t{h.ymax} - h.ymin + 1);
    if (lineBytes > formats::pcx_rle_most_bytes(in.remaining())) return BMG_ERR_READ_FILE;

    img->width = static_cast<uint32_t>(h.xmax - h.xmin) + 1;
    img->height = static_cast<uint32_t>(h.ymax - h.ymin) + 1;
    img->bitsPerPixel = image_depth(h);
    if (BMGError e = AllocateImageRecord(img); e != BMG_OK) return e;
    if (BMGError e = fill_palette(in, h, *img); e != BMG_OK) return e;

    std::vector<uint8_t> line;
    try {
        line.resize(static_cast<size_t>(h.bytesPerLine) * h.planes);
    } catch (const std::bad_alloc&) {
        return BMG_ERR_NO_MEMORY;
    }
    for (uint32_t r = 0; r < img->height; ++r) {
        if (!decode_line(in, line)) return BMG_ERR_READ_FILE;
        uint8_t* row = ImageRow(*img, img->height - 1 - r);
        if (bit_planar(h)) store_bit_planes(line, h, row, img->width);
        else store_byte_planes(line, h, row, img->width);
    }
    return BMG_OK;
}

}  // namespace

BMGError ReadPcxFile(const char* filename, BMGImage* img) {
    return codec_io::ReadWholeFile(filename, img, read_pcx);
}

}  // namespace quorvel::raster
