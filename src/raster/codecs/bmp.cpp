// Uncompressed Windows BMP files: a 14-byte file header, an information header, a colour
// table for indexed images, and bottom-up rows padded to 4 bytes.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/bmp_header.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

namespace bmp = formats::bmp;
using bmp::kBiBitfields;
using bmp::kBiRgb;
using bmp::kFileHeaderBytes;
using bmp::kInfoHeaderBytes;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

uint64_t file_row_bytes(uint32_t bits, uint32_t width) {
    return bmp::stored_row_bytes(bits, width);
}

// Closes the file whatever way the function leaves.
struct File {
    std::FILE* f = nullptr;
    ~File() {
        if (f != nullptr) std::fclose(f);
    }
    bool read(void* out, size_t count) { return std::fread(out, 1, count, f) == count; }
    bool write(const void* in, size_t count) { return std::fwrite(in, 1, count, f) == count; }
    bool close() {
        const bool ok = std::fclose(f) == 0;
        f = nullptr;
        return ok;
    }
    uint64_t size() const {
        struct stat info {};
        return fstat(fileno(f), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    }
};

// Moves `count` bytes on; a skip past the file's end is a short read.
BMGError skip(File& file, uint64_t count) {
    if (count > file.size()) return BMG_ERR_READ_FILE;
    return std::fseek(file.f, static_cast<long>(count), SEEK_CUR) == 0 ? BMG_OK : BMG_ERR_READ_FILE;
}

// Moves past the rest of a longer information header (and the masks of a bit-field file),
// checking the masks on the way: bit fields that describe exactly the uncompressed layout of
// 16 or 32 bits are read as such (several writers label plain 32-bit files this way), any
// other masks are refused. Leaves the file at the colour table.
BMGError skip_to_colours(File& file, const bmp::InfoHeader& h) {
    if (h.header_bytes < kInfoHeaderBytes) return BMG_ERR_FORMAT_OPTION;
    uint64_t at = kInfoHeaderBytes;  // read of the information header so far
    if (h.compression == kBiBitfields && !h.os2_v2()) {
        uint8_t bytes[12];
        if (BMGError e = skip(file, h.masks_at() - at); e != BMG_OK) return e;
        if (!file.read(bytes, sizeof bytes)) return BMG_ERR_READ_FILE;
        uint32_t masks[4];
        bmp::read_masks(bytes, h, masks);
        if (!bmp::standard_masks(masks, h.bits)) return BMG_ERR_FORMAT_OPTION;
        at = h.masks_at() + sizeof bytes;
    } else if (h.compression != kBiRgb) {
        return BMG_ERR_FORMAT_OPTION;
    }
    return skip(file, h.colours_at() - at);
}

BMGError read_palette(File& file, BMGImage* img) {
    if (img->bitsPerPixel > 8) return BMG_OK;
    return file.read(img->palette, static_cast<size_t>(img->paletteSize) * 4) ? BMG_OK
                                                                              : BMG_ERR_READ_FILE;
}

// The rows start at the file header's offset when it lies past the colour table; an offset
// that points into the headers is ignored and the rows are taken right after the table.
BMGError seek_pixels(File& file, uint32_t pixel_offset, uint64_t rows_bytes) {
    const long here = std::ftell(file.f);
    if (here < 0) return BMG_ERR_READ_FILE;
    uint64_t start = static_cast<uint64_t>(here);
    if (pixel_offset > start) start = pixel_offset;
    if (start + rows_bytes > file.size()) return BMG_ERR_READ_FILE;
    return std::fseek(file.f, static_cast<long>(start), SEEK_SET) == 0 ? BMG_OK : BMG_ERR_READ_FILE;
}

// Rows go straight from the file into the record. Its rows are never longer than the file's
// (packed or 4-byte aligned, as the file's are), so each one is written whole.
BMGError read_rows(File& file, BMGImage* img, bool top_down) {
    // The record holds these rows already, so their size fits in memory arithmetic.
    const size_t file_row = file_row_bytes(img->bitsPerPixel, img->width);
    if (img->rowBytes == file_row && !top_down)
        return file.read(img->pixels, file_row * img->height) ? BMG_OK : BMG_ERR_READ_FILE;
    std::vector<uint8_t> padded;
    try {
        padded.resize(img->rowBytes == file_row ? 0 : file_row);
    } catch (...) {
        return BMG_ERR_NO_MEMORY;
    }
    for (uint32_t y = 0; y < img->height; ++y) {
        // A top-down file's first row is the picture's top row: stored last in the image.
        uint8_t* row = codec_io::ImageRow(*img, top_down ? img->height - 1 - y : y);
        if (!file.read(padded.empty() ? row : padded.data(), file_row)) return BMG_ERR_READ_FILE;
        if (!padded.empty()) std::memcpy(row, padded.data(), img->rowBytes);
    }
    return BMG_OK;
}

BMGError describe_image(const bmp::InfoHeader& h, BMGImage* img) {
    if (!bmp::valid_size(h)) return BMG_ERR_IMAGE_SIZE;
    const uint16_t b = h.bits;
    if (!bmp::valid_depth(b)) return BMG_ERR_BITS_PER_PIXEL;
    img->width = static_cast<uint32_t>(h.width);
    img->height = h.rows();
    img->bitsPerPixel = static_cast<uint8_t>(b);
    img->paletteSize = 0;
    img->paletteEntryBytes = 0;
    if (b <= 8) {
        // A table longer than the depth can index is no BMP we can place.
        if (h.colours_used > (1u << b)) return BMG_ERR_CORRUPT_FORMAT;
        img->paletteSize = static_cast<uint16_t>(h.colours_used);
        img->paletteEntryBytes = 4;
    }
    return BMG_OK;
}

// The colour table and the rows a header promises must be in the file before we allocate
// for them: a forged header cannot make us take memory the file does not back.
BMGError check_file_holds(File& file, const BMGImage& img) {
    const long here = std::ftell(file.f);
    if (here < 0) return BMG_ERR_READ_FILE;
    const uint64_t colours =
        img.bitsPerPixel > 8 ? 0 : (img.paletteSize ? img.paletteSize : 1u << img.bitsPerPixel);
    const uint64_t rows = file_row_bytes(img.bitsPerPixel, img.width) * img.height;
    const uint64_t before_rows = static_cast<uint64_t>(here) + 4 * colours;
    const uint64_t size = file.size();
    return before_rows <= size && rows <= size - before_rows ? BMG_OK : BMG_ERR_READ_FILE;
}

BMGError read_bmp(File& file, BMGImage* img) {
    uint8_t file_header[kFileHeaderBytes];
    uint8_t info[kInfoHeaderBytes];
    if (!file.read(file_header, sizeof file_header)) return BMG_ERR_READ_FILE;
    const bmp::FileHeader f = *bmp::read_file_header(file_header);
    if (f.magic != bmp::kMagic) return BMG_ERR_FORMAT_OPTION;
    if (!file.read(info, sizeof info)) return BMG_ERR_READ_FILE;
    bmp::InfoHeader h;
    bmp::read_info_header(info, h);  // 40 bytes hold every field read here
    BMGError status = skip_to_colours(file, h);
    if (status != BMG_OK) return status;
    status = describe_image(h, img);
    if (status != BMG_OK) return status;
    status = check_file_holds(file, *img);
    if (status != BMG_OK) return status;
    status = AllocateImageRecord(img, false);
    if (status != BMG_OK) return status;
    status = read_palette(file, img);
    if (status != BMG_OK) return status;
    const uint64_t rows = file_row_bytes(img->bitsPerPixel, img->width) * img->height;
    status = seek_pixels(file, f.pixel_offset, rows);
    if (status != BMG_OK) return status;
    return read_rows(file, img, h.top_down());
}

// The writer's view of a record: indexed images need a palette of 3- or 4-byte entries.
BMGError check_writable(const BMGImage& img) {
    if (img.pixels == nullptr || img.width == 0 || img.height == 0) return BMG_ERR_IMAGE_POINTER;
    const uint32_t b = img.bitsPerPixel;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return BMG_ERR_BITS_PER_PIXEL;
    if (img.rowBytes < codec_io::PackedRowBytes(b, img.width)) return BMG_ERR_IMAGE_POINTER;
    if (b <= 8 && (img.palette == nullptr || img.paletteSize == 0)) return BMG_ERR_IMAGE_POINTER;
    if (img.palette != nullptr && img.paletteSize > 0 && img.paletteEntryBytes < 3)
        return BMG_ERR_IMAGE_POINTER;
    return BMG_OK;
}

// Entries written: the palette, but never more than the depth can index.
uint32_t written_colours(const BMGImage& img) {
    if (img.bitsPerPixel > 8 || img.palette == nullptr) return 0;
    const uint32_t limit = 1u << img.bitsPerPixel;
    return img.paletteSize < limit ? img.paletteSize : limit;
}

std::vector<uint8_t> colour_table(const BMGImage& img, uint32_t colours) {
    std::vector<uint8_t> table(static_cast<size_t>(colours) * 4, 0);
    for (uint32_t i = 0; i < colours; ++i)
        std::memcpy(&table[i * 4], img.palette + static_cast<size_t>(i) * img.paletteEntryBytes, 3);
    if (img.paletteEntryBytes == 4)
        for (uint32_t i = 0; i < colours; ++i) table[i * 4 + 3] = img.palette[i * 4 + 3];
    return table;
}

std::vector<uint8_t> pixel_rows(const BMGImage& img, size_t file_row) {
    std::vector<uint8_t> rows(file_row * img.height, 0);
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* in = codec_io::ImageRow(img, y);
        uint8_t* out = rows.data() + y * file_row;
        if (img.bitsPerPixel != 32) {
            std::memcpy(out, in, std::min<size_t>(img.rowBytes, file_row));
            continue;
        }
        // 32-bit images give up their alpha byte.
        for (uint32_t x = 0; x < img.width; ++x) std::memcpy(out + 3 * x, in + 4 * x, 3);
    }
    return rows;
}

void fill_headers(uint8_t* headers, const BMGImage& img, uint32_t bits, uint32_t colours,
                  uint32_t image_bytes) {
    const uint32_t offset = kFileHeaderBytes + kInfoHeaderBytes + 4 * colours;
    put16(headers, 0x4D42);
    put32(headers + 2, offset + image_bytes);
    put32(headers + 6, 0);
    put32(headers + 10, offset);
    uint8_t* info = headers + kFileHeaderBytes;
    put32(info, kInfoHeaderBytes);
    put32(info + 4, img.width);
    put32(info + 8, img.height);
    put16(info + 12, 1);
    put16(info + 14, bits);
    put32(info + 16, kBiRgb);
    put32(info + 20, image_bytes);
    put32(info + 24, 0);
    put32(info + 28, 0);
    put32(info + 32, colours);
    put32(info + 36, colours);
}

BMGError write_bmp(File& file, const BMGImage& img) {
    const uint32_t bits = img.bitsPerPixel == 32 ? 24 : img.bitsPerPixel;
    const uint64_t file_row = file_row_bytes(bits, img.width);
    const uint64_t image_bytes = file_row * img.height;
    const uint32_t colours = written_colours(img);
    if (image_bytes + kFileHeaderBytes + kInfoHeaderBytes + 4 * colours > 0xFFFFFFFFu)
        return BMG_ERR_IMAGE_SIZE;
    uint8_t headers[kFileHeaderBytes + kInfoHeaderBytes];
    fill_headers(headers, img, bits, colours, static_cast<uint32_t>(image_bytes));
    const std::vector<uint8_t> table = colour_table(img, colours);
    const std::vector<uint8_t> rows = pixel_rows(img, file_row);
    if (!file.write(headers, kFileHeaderBytes) ||
        !file.write(headers + kFileHeaderBytes, kInfoHeaderBytes) ||
        (!table.empty() && !file.write(table.data(), table.size())) ||
        !file.write(rows.data(), rows.size()))
        return BMG_ERR_WRITE_FILE;
    return file.close() ? BMG_OK : BMG_ERR_WRITE_FILE;
}

}  // namespace

BMGError ReadBmpFile(const char* filename, BMGImage* img) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    File file;
    file.f = filename == nullptr ? nullptr : std::fopen(filename, "rb");
    if (file.f == nullptr) return codec_io::FailRead(img, BMG_ERR_OPEN_FILE);
    const BMGError status = read_bmp(file, img);
    return status == BMG_OK ? BMG_OK : codec_io::FailRead(img, status);
}

BMGError WriteBmpFile(const char* filename, BMGImage img) {
    SetLastImageError(BMG_OK);
    // Checked before the file is created, so a refused record leaves no empty file behind.
    BMGError status = check_writable(img);
    if (status != BMG_OK) return SetLastImageError(status);
    File file;
    file.f = filename == nullptr ? nullptr : std::fopen(filename, "wb");
    if (file.f == nullptr) return SetLastImageError(BMG_ERR_OPEN_FILE);
    try {
        status = write_bmp(file, img);
    } catch (...) {
        status = BMG_ERR_NO_MEMORY;
    }
    return status == BMG_OK ? BMG_OK : SetLastImageError(status);
}

}  // namespace quorvel::raster
