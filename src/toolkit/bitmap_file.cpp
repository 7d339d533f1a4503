// The bitmap class's file side: reading BMP, DIB and RLE files and writing BMP files.
#include <cstring>
#include <memory>

#include "formats/bmp_header.h"
#include "toolkit/bitmap.h"
#include "toolkit/dib.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

using formats::bmp::kFileHeaderBytes;
using formats::bmp::kInfoHeaderBytes;

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    put16(out, at, v);
    put16(out, at + 2, v >> 16);
}

bool starts_with_bm(std::span<const uint8_t> b) {
    return b.size() >= 2 && b[0] == 'B' && b[1] == 'M';
}

// A file with the "BM" header, or a packed DIB (the information header first).
dib::DibLayout layout_of(std::span<const uint8_t> b) {
    if (!starts_with_bm(b)) return dib::read_layout(b, 0, 0);
    const auto file_header = formats::bmp::read_file_header(b);
    if (!file_header) throw EInvalidGraphic("Bitmap image is not valid");
    return dib::read_layout(b, kFileHeaderBytes, file_header->pixel_offset);
}

void write_headers(std::vector<uint8_t>& out, int width, int height, int bits, size_t colours,
                   size_t image_bytes) {
    const size_t offset = kFileHeaderBytes + kInfoHeaderBytes + 4 * colours;
    out.assign(offset + image_bytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<uint32_t>(out.size()));
    put32(out, 10, static_cast<uint32_t>(offset));
    put32(out, 14, kInfoHeaderBytes);
    put32(out, 18, static_cast<uint32_t>(width));
    put32(out, 22, static_cast<uint32_t>(height));
    put16(out, 26, 1);
    put16(out, 28, static_cast<uint32_t>(bits));
    put32(out, 34, static_cast<uint32_t>(image_bytes));
    put32(out, 46, static_cast<uint32_t>(colours));
}

}  // namespace

void Bitmap::LoadFromStream(Stream& stream) {
    const std::span<const uint8_t> bytes = stream.rest();
    const dib::DibLayout layout = layout_of(bytes);
    Bitmap decoded;
    dib::decode_pixels(bytes, layout, decoded);
    const PixelFormat format = decoded.format_;
    adopt(static_cast<QuorvelGdiObject*>(decoded.release_handle()), format);
    stream.seek(stream.size());
}

std::vector<uint8_t> Bitmap::save_to_memory() const {
    if (empty()) throw EInvalidGraphic("Cannot save an empty bitmap");
    const int bits = storage_bits(format_) == 0 ? 24 : storage_bits(format_);
    const std::vector<RGBQUAD> colours = bits <= 8 ? palette() : std::vector<RGBQUAD>{};
    const size_t row =
        dib::stored_row_bytes(static_cast<uint32_t>(bits), static_cast<uint32_t>(width_));
    std::vector<uint8_t> out;
    write_headers(out, width_, height_, bits, colours.size(), row * height_);
    uint8_t* table = out.data() + kFileHeaderBytes + kInfoHeaderBytes;
    for (size_t i = 0; i < colours.size(); ++i) std::memcpy(table + 4 * i, &colours[i], 3);
    uint8_t* rows = table + 4 * colours.size();
    const size_t packed = (size_t(width_) * bits + 7) / 8;
    for (int y = 0; y < height_; ++y)
        std::memcpy(rows + row * size_t(height_ - 1 - y), scanline(y), packed);
    return out;
}

const GraphicClass& bitmap_class() {
    static const GraphicClass c{"TBitmap", [] { return std::unique_ptr<Graphic>(new Bitmap); }};
    return c;
}

}  // namespace quorvel::toolkit
