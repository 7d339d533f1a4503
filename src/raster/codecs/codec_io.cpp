#include "raster/codecs/codec_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/whole_file.h"

namespace quorvel::raster::codec_io {

BMGError LoadWholeFile(const char* filename, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::FILE* file = filename != nullptr ? std::fopen(filename, "rb") : nullptr;
    if (file == nullptr) return BMG_ERR_OPEN_FILE;
    const platform::WholeFileStatus status = platform::read_rest_of_file(file, bytes);
    const BMGError result = status == platform::WholeFileStatus::Ok         ? BMG_OK
                            : status == platform::WholeFileStatus::NoMemory ? BMG_ERR_NO_MEMORY
                                                                            : BMG_ERR_READ_FILE;
    std::fclose(file);
    if (result != BMG_OK) std::vector<uint8_t>().swap(bytes);
    return result;
}

FileInput::~FileInput() {
    if (file_ != nullptr) std::fclose(file_);
}

BMGError FileInput::open(const char* filename) {
    file_ = filename != nullptr ? std::fopen(filename, "rb") : nullptr;
    if (file_ == nullptr) return BMG_ERR_OPEN_FILE;
    struct stat info {};
    size_ = fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode)
                ? static_cast<uint64_t>(info.st_size)
                : 0;
    return BMG_OK;
}

// At least `count` bytes in the window from at_ on (count <= remaining() checked by callers).
bool FileInput::fill(size_t count) {
    constexpr size_t kWindow = size_t{1} << 16;
    const size_t held = end_ - at_;
    if (held >= count) return true;
    if (at_ > 0) std::memmove(window_.data(), window_.data() + at_, held);
    at_ = 0;
    end_ = held;
    if (window_.size() < std::max(count, kWindow)) window_.resize(std::max(count, kWindow));
    const uint64_t unread = remaining() - held;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(window_.size() - end_, unread));
    end_ += std::fread(window_.data() + end_, 1, want, file_);
    return end_ >= count;
}

const uint8_t* FileInput::take_more(size_t count) {
    if (count > remaining()) return nullptr;
    try {
        if (!fill(count)) return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return take(count);
}

bool FileInput::skip(uint64_t count) {
    if (count > remaining()) return false;
    for (constexpr size_t kStep = size_t{1} << 16; count > 0;) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(count, kStep));
        if (take(step) == nullptr) return false;
        count -= step;
    }
    return true;
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::open(const char* filename) {
    close();
    file_ = filename != nullptr ? std::fopen(filename, "wb") : nullptr;
    return file_ != nullptr;
}

bool OutputFile::write(const void* bytes, size_t count) {
    if (file_ == nullptr) return false;
    return count == 0 || std::fwrite(bytes, 1, count, file_) == count;
}

bool OutputFile::close() {
    if (file_ == nullptr) return true;
    const bool flushed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed;
}

BMGError FailRead(BMGImage* img, BMGError code) {
    if (img != nullptr) ReleaseImageRecord(img);
    return SetLastImageError(code);
}

BMGError ReadWholeFile(const char* filename, BMGImage* img,
                       BMGError (*parse)(formats::ByteCursor&, BMGImage*)) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    std::vector<uint8_t> bytes;
    if (BMGError e = LoadWholeFile(filename, bytes); e != BMG_OK) return FailRead(img, e);
    formats::ByteCursor in(bytes);
    const BMGError e = parse(in, img);
    return e == BMG_OK ? BMG_OK : FailRead(img, e);
}

BMGError FailWrite(BMGError code) { return SetLastImageError(code); }

void SetPaletteEntry(BMGImage& img, size_t index, uint8_t red, uint8_t green, uint8_t blue) {
    formats::set_entry(PaletteOf(img), index, red, green, blue);
}

void FillGrayRamp(BMGImage& img, bool descending) {
    formats::fill_gray_ramp(PaletteOf(img), descending);
}

bool IsGrayRamp(const BMGImage& img, bool descending) {
    return img.bitsPerPixel <= 8 &&
           formats::is_gray_ramp(PaletteOf(img), size_t{1} << img.bitsPerPixel, descending);
}

bool IsGrayPalette(const BMGImage& img) { return formats::all_gray(PaletteOf(img)); }

BMGError CheckWritableImage(const BMGImage& img, const WriterRules& rules) {
    const uint8_t bits = img.bitsPerPixel;
    const bool knownDepth =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    const BMGError depth = knownDepth ? BMG_OK : BMG_ERR_BITS_PER_PIXEL;
    const bool sized = img.width != 0 && img.height != 0 && img.width <= rules.maxDimension &&
                       img.height <= rules.maxDimension;
    const BMGError size = sized ? BMG_OK : BMG_ERR_IMAGE_SIZE;
    const BMGError pixels = img.pixels != nullptr ? BMG_OK : BMG_ERR_IMAGE_POINTER;
    const BMGError order[3] = {rules.pixelsFirst ? pixels : depth, size,
                               rules.pixelsFirst ? depth : pixels};
    for (BMGError code : order)
        if (code != BMG_OK) return code;
    if (img.rowBytes < PackedRowBytes(bits, img.width)) return BMG_ERR_IMAGE_SIZE;
    // An indexed image means nothing without its colours.
    if (rules.indexedNeedsPalette && bits <= 8 && !HasPalette(img)) return BMG_ERR_FORMAT_OPTION;
    return BMG_OK;
}

BMGError WidenedCopy(const BMGImage& img, BMGImage& copy) {
    copy = img;
    const size_t bytes = static_cast<size_t>(img.rowBytes) * img.height;
    copy.pixels = static_cast<uint8_t*>(std::malloc(bytes));
    if (copy.pixels == nullptr) return BMG_ERR_NO_MEMORY;
    std::memcpy(copy.pixels, img.pixels, bytes);
    const BMGError e = ExpandRgb555(&copy);
    if (e != BMG_OK) {
        std::free(copy.pixels);
        copy.pixels = nullptr;
    }
    return e;
}

void RgbRowFromBgr(const uint8_t* in, uint8_t* out, uint32_t width, int bytes) {
    for (uint32_t x = 0; x < width; ++x, in += bytes, out += bytes) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        if (bytes == 4) out[3] = in[3];
    }
}

bool UnpackIndexed(const BMGImage& img, std::vector<uint8_t>& out) {
    try {
        out.assign(static_cast<size_t>(img.width) * img.height, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (img.bitsPerPixel == 1) {
        UnpackIndexedRows1(img, out.data());
    } else if (img.bitsPerPixel == 4) {
        UnpackIndexedRows4(img, out.data());
    } else {
        for (uint32_t y = 0; y < img.height; ++y)
            std::copy_n(ImageRow(img, y), img.width,
                        out.data() + static_cast<size_t>(y) * img.width);
    }
    return true;
}

}  // namespace quorvel::raster::codec_io
