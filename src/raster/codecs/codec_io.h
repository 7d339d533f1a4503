// Plumbing shared by the TGA, SGI, IFF, PCX, GIF and CEL codecs: the whole file in memory
// behind a bounded cursor, an output file, and the reader/writer failure conventions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "formats/byte_cursor.h"
#include "formats/palette.h"
#include "raster/bmg_image.h"

namespace quorvel::raster::codec_io {

// Reads a whole file into `bytes`: BMG_ERR_OPEN_FILE, BMG_ERR_READ_FILE or BMG_ERR_NO_MEMORY
// on failure (and `bytes` left empty).
BMGError LoadWholeFile(const char* filename, std::vector<uint8_t>& bytes);

// A file read front to back through a small window, for readers that need the bytes only
// once: no copy of the whole file is held. Every read is checked against the end, as with
// formats::ByteCursor; the size is the open file's (0 for a pipe or device, which reads as empty).
class FileInput {
public:
    FileInput() = default;
    ~FileInput();
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    // BMG_ERR_OPEN_FILE when the file cannot be opened.
    BMGError open(const char* filename);
    uint64_t remaining() const { return size_ - pos_; }
    bool skip(uint64_t count);
    // The next `count` bytes (valid until the next call), or null when the file ends first.
    // Bytes already in the window come from the file, so they need no other check.
    const uint8_t* take(size_t count) {
        if (count > end_ - at_) return take_more(count);
        const uint8_t* bytes = window_.data() + at_;
        at_ += count;
        pos_ += count;
        return bytes;
    }
    bool u8(uint8_t& value) {
        const uint8_t* b = take(1);
        if (b == nullptr) return false;
        value = b[0];
        return true;
    }

private:
    const uint8_t* take_more(size_t count);
    bool fill(size_t count);

    std::FILE* file_ = nullptr;
    uint64_t size_ = 0, pos_ = 0;
    std::vector<uint8_t> window_;
    size_t at_ = 0, end_ = 0;
};

// An output file opened "wb"; closed on destruction.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(const char* filename);
    bool write(const void* bytes, size_t count);
    // Closes the file; false when buffered data could not be flushed.
    bool close();

private:
    std::FILE* file_ = nullptr;
};

// Reader failure: releases the record, records the code as last error, returns it.
BMGError FailRead(BMGImage* img, BMGError code);
// The reader entry points of the codecs that parse the whole file from memory: clears the
// last error, refuses a null record, loads the file, runs `parse`, and on any failure
// releases the record and records the code.
BMGError ReadWholeFile(const char* filename, BMGImage* img,
                       BMGError (*parse)(formats::ByteCursor&, BMGImage*));
// Writer failure: records the code as last error and returns it.
BMGError FailWrite(BMGError code);

// Start of stored row `row` (0 = bottom row of the picture).
inline uint8_t* ImageRow(const BMGImage& img, uint32_t row) {
    return img.pixels + static_cast<size_t>(row) * img.rowBytes;
}
// Bytes of a row that carry pixels, without the padding.
inline size_t PackedRowBytes(uint32_t bits, uint32_t width) {
    return (static_cast<size_t>(bits) * width + 7) / 8;
}

// The record's palette block as the shared palette helpers see it (formats/palette.h).
inline formats::PaletteView PaletteOf(BMGImage& img) {
    return {img.palette, img.paletteSize, img.paletteEntryBytes};
}
inline formats::ConstPaletteView PaletteOf(const BMGImage& img) {
    return {img.palette, img.paletteSize, img.paletteEntryBytes};
}
// Stores a colour at palette index `index`; indexes past the palette are dropped.
void SetPaletteEntry(BMGImage& img, size_t index, uint8_t red, uint8_t green, uint8_t blue);
// Fills the whole palette with the gray ramp of its size (entry i = i * 255 / (n - 1)),
// descending from white when asked.
void FillGrayRamp(BMGImage& img, bool descending = false);
// The palette is exactly (part of) the gray ramp of the record's depth, so that indexes are
// gray levels; false without a palette block.
bool IsGrayRamp(const BMGImage& img, bool descending = false);
// A palette block with at least one entry of blue, green and red.
inline bool HasPalette(const BMGImage& img) {
    return img.palette != nullptr && img.paletteSize > 0 && img.paletteEntryBytes >= 3;
}
// Every palette entry has blue = green = red (false without a palette block).
bool IsGrayPalette(const BMGImage& img);
// What a writer demands of a record beyond known depth, non-zero size, rows present and
// rows wide enough for their pixels.
struct WriterRules {
    // The TGA and SGI writers report a missing pixel block before a bad size or depth; the
    // PNG, TIFF and JPEG writers report depth, then size, then the pixel block. Callers see
    // which code wins when several faults meet, so each writer keeps its order.
    bool pixelsFirst = true;
    // Largest width or height the format can store.
    uint32_t maxDimension = UINT32_MAX;
    // Indexed images must carry their colours.
    bool indexedNeedsPalette = true;
};
// Writers' sanity check of a record handed by value: BMG_OK or the code to fail with.
BMGError CheckWritableImage(const BMGImage& img, const WriterRules& rules = {});
// A 16-bit record widened to 24 bits on a private copy of its pixels, so that the caller's
// record stays as it was. On success `copy` owns its pixel block (release with std::free).
BMGError WidenedCopy(const BMGImage& img, BMGImage& copy);
// A 24- or 32-bit row (`bytes` per pixel) in the file order red, green, blue[, alpha].
void RgbRowFromBgr(const uint8_t* in, uint8_t* out, uint32_t width, int bytes);
// One byte per pixel, `width` bytes a row, rows bottom-up, for a 1-, 4- or 8-bit image.
bool UnpackIndexed(const BMGImage& img, std::vector<uint8_t>& out);

}  // namespace quorvel::raster::codec_io
