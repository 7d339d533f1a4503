#include "raster/dispatch.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/replacing_file.h"
#include "raster/bridge.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using Reader = BMGError (*)(const char*, BMGImage*, void*);
using Writer = BMGError (*)(const char*, BMGImage, void*);

// The WSQ reader's codes pass on as the 8-bit values the dispatch has always returned.
BMGError read_wsq(const char* name, BMGImage* img, void* extra) {
    const int code = ReadWsqFile(name, img, static_cast<WsqFileOptions*>(extra));
    return static_cast<BMGError>(static_cast<int8_t>(code & 0xFF));
}
BMGError read_tif(const char* name, BMGImage* img, void* extra) {
    return ReadTiffFile(name, img, extra);
}
BMGError read_png(const char* name, BMGImage* img, void*) { return ReadPngFile(name, img); }
BMGError read_jpg(const char* name, BMGImage* img, void*) { return ReadJpegFile(name, img); }
BMGError read_bmp(const char* name, BMGImage* img, void*) { return ReadBmpFile(name, img); }
BMGError read_tga(const char* name, BMGImage* img, void*) { return ReadTgaFile(name, img); }
BMGError read_cel(const char* name, BMGImage* img, void*) { return ReadCelFile(name, img); }
BMGError read_rgb(const char* name, BMGImage* img, void*) { return ReadSgiRgbFile(name, img); }
BMGError read_gif(const char* name, BMGImage* img, void*) { return ReadGifFile(name, img); }
BMGError read_psd(const char* name, BMGImage* img, void*) { return ReadPsdFile(name, img); }
BMGError read_iff(const char* name, BMGImage* img, void*) { return ReadIffFile(name, img); }
BMGError read_pcx(const char* name, BMGImage* img, void*) { return ReadPcxFile(name, img); }

BMGError write_wsq(const char* name, BMGImage img, void* options) {
    return WriteWsqFile(name, img, static_cast<WsqFileOptions*>(options));
}
BMGError write_tif(const char* name, BMGImage img, void* options) {
    return WriteTiffFile(name, img, static_cast<const TiffFileOptions*>(options));
}
BMGError write_png(const char* name, BMGImage img, void*) { return WritePngFile(name, img); }
// The quality is the first 32-bit integer behind the options pointer; 100 without one.
BMGError write_jpg(const char* name, BMGImage img, void* options) {
    int32_t quality = 100;
    if (options != nullptr) std::memcpy(&quality, options, sizeof quality);
    return WriteJpegFile(name, img, quality);
}
BMGError write_bmp(const char* name, BMGImage img, void*) { return WriteBmpFile(name, img); }
BMGError write_rgb(const char* name, BMGImage img, void*) { return WriteSgiRgbFile(name, img); }
BMGError write_tga(const char* name, BMGImage img, void*) { return WriteTgaFile(name, img); }

struct ReaderRow {
    const char* key;
    Reader read;
};
struct WriterRow {
    const char* key;
    Writer write;
};

// Rows are tried in this order; the first equal key wins.
constexpr ReaderRow kReaders[] = {
    {"WSQ", read_wsq}, {"TIF", read_tif}, {"PNG", read_png}, {"JPG", read_jpg},
    {"BMP", read_bmp}, {"TGA", read_tga}, {"CEL", read_cel}, {"RGB", read_rgb},
    {"GIF", read_gif}, {"PSD", read_psd}, {"IFF", read_iff}, {"PCX", read_pcx},
};
constexpr WriterRow kWriters[] = {
    {"WSQ", write_wsq}, {"TIF", write_tif}, {"PNG", write_png}, {"JPG", write_jpg},
    {"BMP", write_bmp}, {"RGB", write_rgb}, {"TGA", write_tga},
};

bool has_dot(const char* filename) {
    return filename != nullptr && std::strchr(filename, '.') != nullptr;
}

// The dispatch key: the first three characters after the whole name's last ".", ASCII
// letters upper-cased.
std::string extension_key(const char* filename) {
    std::string key(std::strrchr(filename, '.') + 1);
    key.resize(std::min<size_t>(key.size(), 3));
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

template <typename Row, size_t N>
std::vector<std::string> keys_of(const Row (&table)[N]) {
    std::vector<std::string> keys;
    for (const Row& row : table) keys.emplace_back(row.key);
    return keys;
}

template <typename Row, size_t N>
const Row* find_row(const Row (&table)[N], const std::string& key) {
    for (const Row& row : table)
        if (key == row.key) return &row;
    return nullptr;
}

// The writer writes a temporary file beside the target, which replaces the target only after
// a complete write. Where no temporary file can be made the writer meets the target itself,
// so that it fails (and reports) as it always has.
BMGError write_replacing(const WriterRow& row, const char* filename, BMGImage img, void* options) {
    platform::ReplacingFile file(filename);
    if (!file.ok()) return row.write(filename, img, options);
    const char* path = file.temporary_name().c_str();
    // The SGI header records the file's name: the target's, not the temporary one.
    const BMGError status = row.write == write_rgb ? WriteSgiRgbFileAs(path, filename, img)
                                                   : row.write(path, img, options);
    if (status != BMG_OK) return status;
    return file.commit() ? BMG_OK : SetLastImageError(BMG_ERR_WRITE_FILE);
}

}  // namespace

BMGError ReadImageFile(const char* filename, BMGImage* img, void* extra) {
    SetLastImageError(BMG_OK);
    if (!has_dot(filename)) return BMG_ERR_FORMAT_OPTION;
    const ReaderRow* row = find_row(kReaders, extension_key(filename));
    if (row == nullptr) return SetLastImageError(BMG_ERR_EXTENSION);
    return row->read(filename, img, extra);
}

BMGError WriteImageFile(HBITMAP bitmap, const char* filename, void* options) {
    SetLastImageError(BMG_OK);
    BMGImage img;
    ClearImageRecord(&img);
    BMGError status = ImageFromBitmap(bitmap, &img, 1);
    if (status != BMG_OK) return status;
    const WriterRow* row =
        has_dot(filename) ? find_row(kWriters, extension_key(filename)) : nullptr;
    status = row == nullptr ? SetLastImageError(BMG_ERR_EXTENSION)
                            : write_replacing(*row, filename, img, options);
    ReleaseImageRecord(&img);
    return status;
}

std::vector<std::string> reader_keys() { return keys_of(kReaders); }
std::vector<std::string> writer_keys() { return keys_of(kWriters); }

HBITMAP LoadBitmapFromImageFile(const char* filename, void* options, int composite_mode) {
    SetLastImageError(BMG_OK);
    BMGImage img;
    ClearImageRecord(&img);
    img.dibLayout = 1;
    HBITMAP bitmap = nullptr;
    if (ReadImageFile(filename, &img, options) == BMG_OK)
        bitmap = BitmapTakingImage(img, composite_mode);
    ReleaseImageRecord(&img);
    return bitmap;
}

}  // namespace quorvel::raster
