// Truevision Targa: colour-mapped, true-colour and gray images, plain or run-length encoded.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "formats/palette.h"
#include "formats/run_length.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using codec_io::FailWrite;
using codec_io::FileInput;
using codec_io::ImageRow;

struct TgaHeader {
    uint8_t idLength;
    uint8_t colourMapType;
    uint8_t imageType;
    uint16_t mapFirst;
    uint16_t mapLength;
    uint8_t mapEntryBits;
    uint16_t width;
    uint16_t height;
    uint8_t pixelDepth;
    uint8_t descriptor;
};

constexpr uint8_t kAlphaBit = 0x08;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;

TgaHeader parse_header(const uint8_t* b) {
    using formats::le16;
    return TgaHeader{b[0], b[1],         b[2],         le16(b + 3), le16(b + 5),
                     b[7], le16(b + 12), le16(b + 14), b[16],       b[17]};
}

bool indexed_type(uint8_t type) { return type == 1 || type == 3 || type == 9 || type == 11; }
bool gray_type(uint8_t type) { return type == 3 || type == 11; }
// 16-bit gray pixels are a gray byte and an alpha byte.
bool gray_alpha(const TgaHeader& h) { return gray_type(h.imageType) && h.pixelDepth == 16; }
// Gray with alpha keeps its alpha as 32-bit pixels (gray in blue, green and red) when the
// descriptor gives the alpha bits, as for 32-bit colour; without them it is 8-bit gray.
bool keeps_alpha(const TgaHeader& h) {
    return (h.pixelDepth == 32 || gray_alpha(h)) && (h.descriptor & kAlphaBit);
}

BMGError check_header(const TgaHeader& h) {
    if (h.imageType == 0) return BMG_ERR_FORMAT_OPTION;
    const uint8_t d = h.pixelDepth;
    if (d != 8 && d != 15 && d != 16 && d != 24 && d != 32) return BMG_ERR_FORMAT_OPTION;
    const uint8_t t = h.imageType;
    if (t != 1 && t != 2 && t != 3 && t != 9 && t != 10 && t != 11) return BMG_ERR_FORMAT_OPTION;
    if (h.mapLength > 256) return BMG_ERR_FORMAT_OPTION;
    // Indexes wider than a byte, or true colour in one byte, have no place in the record.
    if (indexed_type(t) != (d == 8) && !gray_alpha(h)) return BMG_ERR_BITS_PER_PIXEL;
    if (h.colourMapType == 1 && h.mapEntryBits != 15 && h.mapEntryBits != 16 &&
        h.mapEntryBits != 24 && h.mapEntryBits != 32)
        return BMG_ERR_FORMAT_OPTION;
    return BMG_OK;
}

// Indexes (and 8-bit gray levels) take their colours from the palette.
bool paletted(const TgaHeader& h) { return indexed_type(h.imageType) && !gray_alpha(h); }

// Colour map into the palette, or past it for images that carry one anyway.
bool read_colour_map(FileInput& in, const TgaHeader& h, BMGImage& img) {
    const size_t entryBytes = (h.mapEntryBits + 7) / 8;
    const uint8_t* map = in.take(entryBytes * h.mapLength);
    if (map == nullptr) return false;
    if (!paletted(h)) return true;
    // Entry i of the map is colour mapFirst + i: pixels index the whole table.
    for (size_t i = 0; i < h.mapLength && h.mapFirst + i < img.paletteSize; ++i) {
        const uint8_t* e = map + i * entryBytes;
        uint8_t bgr[3] = {e[0], e[1], e[2]};
        if (entryBytes == 2) formats::bgr_from_555(e, bgr);
        codec_io::SetPaletteEntry(img, h.mapFirst + i, bgr[2], bgr[1], bgr[0]);
    }
    return true;
}

// Writes file pixels straight into the record's rows, in the file's order: a row at a time,
// each placed by the descriptor's vertical order and, when done, turned around for a
// right-to-left file. Nothing is written past the current row or past the last row.
class RowWriter {
public:
    RowWriter(BMGImage& img, uint8_t descriptor, size_t filePixelBytes, bool grayAlpha)
        : img_(img),
          pixelBytes_(img.bitsPerPixel / 8u),
          filePixelBytes_(filePixelBytes),
          widen_(grayAlpha && pixelBytes_ == 4),
          topDown_(descriptor & kTopToBottom),
          rightToLeft_(descriptor & kRightToLeft) {
        start_row();
    }
    bool full() const { return row_ >= img_.height; }
    // `count` pixels (to the end of the row at most) from file pixels at `in`.
    void copy(const uint8_t* in, size_t count) {
        uint8_t* out = dst_ + x_ * pixelBytes_;
        if (pixelBytes_ == filePixelBytes_) std::memcpy(out, in, count * pixelBytes_);
        else
            for (size_t i = 0; i < count; ++i)
                to_record(in + i * filePixelBytes_, out + i * pixelBytes_);
        advance(count);
    }
    // Where the next row's file pixels are to go: straight into the record's row when it keeps
    // them as they are, else into `scratch`, to be converted by put_row.
    std::span<uint8_t> row_target(std::vector<uint8_t>& scratch) {
        const size_t bytes = size_t{img_.width} * filePixelBytes_;
        if (pixelBytes_ == filePixelBytes_ && !widen_) return {dst_, bytes};
        scratch.resize(bytes);
        return scratch;
    }
    void put_row(std::span<const uint8_t> pixels) {
        if (pixels.data() == dst_) advance(img_.width);
        else copy(pixels.data(), img_.width);
    }

private:
    // One file pixel as the record holds it: gray and alpha become blue, green, red (all the
    // gray) and alpha; otherwise the first bytes are kept (32-bit pixels without alpha, gray
    // without its alpha).
    void to_record(const uint8_t* in, uint8_t* out) const {
        if (widen_) {
            out[0] = out[1] = out[2] = in[0];
            out[3] = in[1];
        } else {
            std::memcpy(out, in, pixelBytes_);
        }
    }
    // The record is not cleared: the row's padding is, and its pixels are all written.
    void start_row() {
        if (full()) return;
        dst_ = ImageRow(img_, topDown_ ? img_.height - 1 - row_ : row_);
        const size_t pixels = size_t{img_.width} * pixelBytes_;
        std::memset(dst_ + pixels, 0, img_.rowBytes - pixels);
    }
    void advance(size_t count) {
        x_ += static_cast<uint32_t>(count);
        if (x_ < img_.width) return;
        if (rightToLeft_) reverse_row();
        x_ = 0;
        ++row_;
        start_row();
    }
    void reverse_row() {
        uint8_t* left = dst_;
        uint8_t* right = dst_ + (img_.width - 1) * pixelBytes_;
        for (; left < right; left += pixelBytes_, right -= pixelBytes_)
            std::swap_ranges(left, left + pixelBytes_, right);
    }

    BMGImage& img_;
    size_t pixelBytes_, filePixelBytes_;
    bool widen_, topDown_, rightToLeft_;
    uint32_t row_ = 0, x_ = 0;
    uint8_t* dst_ = nullptr;
};

// Run-length packets, a row at a time, from the file in pieces of up to 64 KiB: a run that would
// pass the end of the image is cut, and a packet may go on into the next row. A literal packet
// must be whole in the file even where the image ends before it does.
bool decode_rle(FileInput& in, RowWriter& out, size_t filePixelBytes) {
    constexpr uint64_t kPiece = uint64_t{1} << 16;
    const auto n = static_cast<unsigned>(filePixelBytes);
    formats::TargaRun run;
    std::span<const uint8_t> piece;
    std::vector<uint8_t> scratch;
    while (!out.full()) {
        const std::span<uint8_t> row = out.row_target(scratch);
        for (size_t done = 0; done < row.size();) {
            if (piece.empty()) {
                const auto count = static_cast<size_t>(std::min(kPiece, in.remaining()));
                const uint8_t* bytes = count > 0 ? in.take(count) : nullptr;
                if (bytes == nullptr) return false;
                piece = {bytes, count};
            }
            const formats::RunResult r =
                formats::decode_targa_rle(piece, row.subspan(done), n, run);
            piece = piece.subspan(r.consumed);
            done += r.produced;
        }
        out.put_row(row);
    }
    return formats::targa_bytes_owed(run, n) <= piece.size() + in.remaining();
}

bool read_plain(FileInput& in, RowWriter& out, uint32_t width, size_t filePixelBytes) {
    while (!out.full()) {
        const uint8_t* row = in.take(width * filePixelBytes);
        if (row == nullptr) return false;
        out.copy(row, width);
    }
    return true;
}

BMGError read_tga(FileInput& in, BMGImage* img) {
    const uint8_t* raw = in.take(18);
    if (raw == nullptr) return BMG_ERR_READ_FILE;
    const TgaHeader h = parse_header(raw);
    if (BMGError e = check_header(h); e != BMG_OK) return e;
    const bool alpha = keeps_alpha(h);
    if (!in.skip(h.idLength)) return BMG_ERR_READ_FILE;

    // A header claiming more pixels than the rest of the file could hold is a short read,
    // found before a large allocation.
    const uint64_t pixelCount = static_cast<uint64_t>(h.width) * h.height;
    const unsigned pixelBytes = (h.pixelDepth + 7) / 8;
    const uint64_t packedLimit = h.imageType > 3
                                     ? formats::targa_rle_most_pixels(in.remaining(), pixelBytes)
                                     : in.remaining() / pixelBytes;
    if (pixelCount > packedLimit) return BMG_ERR_READ_FILE;

    img->width = h.width;
    img->height = h.height;
    if (gray_alpha(h)) img->bitsPerPixel = alpha ? 32 : 8;
    else
        img->bitsPerPixel =
            h.pixelDepth == 15 ? 16 : (h.pixelDepth == 32 && !alpha ? 24 : h.pixelDepth);
    if (h.colourMapType == 1 && paletted(h) && h.mapLength > 0)
        img->paletteSize = static_cast<uint16_t>(std::min(256, h.mapFirst + h.mapLength));
    if (BMGError e = AllocateImageRecord(img, false); e != BMG_OK) return e;

    if (h.colourMapType == 1) {
        if (!read_colour_map(in, h, *img)) return BMG_ERR_READ_FILE;
    }
    if (img->bitsPerPixel == 8 && (h.colourMapType != 1 || !paletted(h)))
        codec_io::FillGrayRamp(*img);

    const size_t filePixelBytes = (h.pixelDepth + 7) / 8;
    RowWriter out(*img, h.descriptor, filePixelBytes, gray_alpha(h));
    const bool ok = h.imageType > 3 ? decode_rle(in, out, filePixelBytes)
                                    : read_plain(in, out, img->width, filePixelBytes);
    if (!ok) return BMG_ERR_READ_FILE;
    return BMG_OK;
}

}  // namespace

// Read front to back, never held whole: the rows go from the file straight into the record.
BMGError ReadTgaFile(const char* filename, BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    FileInput in;
    if (BMGError e = in.open(filename); e != BMG_OK) return codec_io::FailRead(img, e);
    const BMGError e = read_tga(in, img);
    return e == BMG_OK ? BMG_OK : codec_io::FailRead(img, e);
}

namespace {

struct TgaPlan {
    uint8_t imageType;
    bool colourMap;
    uint8_t pixelDepth;
};

TgaPlan plan_tga(const BMGImage& img) {
    if (img.paletteSize == 0 || img.bitsPerPixel > 8) return {2, false, img.bitsPerPixel};
    if (codec_io::IsGrayPalette(img) && img.paletteSize > 16) return {3, false, 8};
    return {1, true, 8};
}

std::vector<uint8_t> header_bytes(const BMGImage& img, const TgaPlan& plan) {
    std::vector<uint8_t> h(18, 0);
    auto put16 = [&h](int at, unsigned v) {
        h[at] = static_cast<uint8_t>(v);
        h[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    h[1] = plan.colourMap ? 1 : 0;
    h[2] = plan.imageType;
    if (plan.colourMap) {
        put16(5, img.paletteSize);
        h[7] = 24;
    }
    put16(12, img.width);
    put16(14, img.height);
    h[16] = plan.pixelDepth;
    h[17] = img.bitsPerPixel == 32 ? 0x28 : 0x20;
    return h;
}

// Pixel rows as written, bottom row first: one byte an index for indexed images (the gray
// level itself for a gray image without colour map), else the record's own rows.
BMGError pixel_rows(const BMGImage& img, const TgaPlan& plan, std::vector<uint8_t>& rows,
                    size_t& rowLength) {
    if (img.bitsPerPixel > 8) {
        rowLength = codec_io::PackedRowBytes(img.bitsPerPixel, img.width);
        return BMG_OK;  // written straight from the record
    }
    if (!codec_io::UnpackIndexed(img, rows)) return BMG_ERR_NO_MEMORY;
    rowLength = img.width;
    if (plan.imageType == 3) {
        // A gray image without colour map holds levels, not indexes: map through the palette.
        for (uint8_t& v : rows)
            v = v < img.paletteSize ? img.palette[v * img.paletteEntryBytes + 2] : 0;
    }
    return BMG_OK;
}

// Entries of three bytes, blue, green, red: a record's fourth palette byte is reserved, and
// written as a Targa entry's fourth byte it would read as alpha 0 (every colour transparent).
bool write_colour_map(codec_io::OutputFile& out, const BMGImage& img) {
    std::vector<uint8_t> map(static_cast<size_t>(img.paletteSize) * 3);
    for (size_t i = 0; i < img.paletteSize; ++i)
        std::memcpy(&map[3 * i], img.palette + i * img.paletteEntryBytes, 3);
    return out.write(map.data(), map.size());
}

BMGError write_tga(codec_io::OutputFile& out, const BMGImage& img) {
    const TgaPlan plan = plan_tga(img);
    const std::vector<uint8_t> header = header_bytes(img, plan);
    if (!out.write(header.data(), header.size())) return BMG_ERR_WRITE_FILE;
    if (plan.colourMap && !write_colour_map(out, img)) return BMG_ERR_WRITE_FILE;

    std::vector<uint8_t> unpacked;
    size_t rowLength = 0;
    if (BMGError e = pixel_rows(img, plan, unpacked, rowLength); e != BMG_OK) return e;
    for (uint32_t y = img.height; y-- > 0;) {
        const uint8_t* row = unpacked.empty()
                                 ? ImageRow(img, y)
                                 : unpacked.data() + static_cast<size_t>(y) * rowLength;
        if (!out.write(row, rowLength)) return BMG_ERR_WRITE_FILE;
    }
    return out.close() ? BMG_OK : BMG_ERR_WRITE_FILE;
}

}  // namespace

BMGError WriteTgaFile(const char* filename, BMGImage img) {
    SetLastImageError(BMG_OK);
    if (BMGError e = codec_io::CheckWritableImage(img); e != BMG_OK) return FailWrite(e);
    codec_io::OutputFile out;
    if (!out.open(filename)) return FailWrite(BMG_ERR_OPEN_FILE);
    const BMGError e = write_tga(out, img);
    return e == BMG_OK ? BMG_OK : FailWrite(e);
}

}  // namespace quorvel::raster
