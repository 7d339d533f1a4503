// WSQ files in and out of the container: whole-file reads and writes around the codec.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <quorvel/wingdi.h>

#include "raster/call_state.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/wsq_limits.h"
#include "wsq/decoder.h"
#include "wsq/diag.h"
#include "wsq/encoder.h"
#include "wsq/wsq.h"

namespace quorvel::raster {
namespace {

using wsq::diag;

void show_error(const char* text) {
    MessageBoxA(nullptr, text, "Quorvel Error", MB_OK | MB_ICONERROR);
}

// The file's length through a plain descriptor; -1 when it cannot be opened.
long long file_length(const char* filename) {
    const int fd = open(filename, O_RDONLY);
    if (fd < 0) return -1;
    struct stat info {};
    const long long length = fstat(fd, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
    close(fd);
    return length;
}

// Options the adapter uses when a caller hands none: those the load entry point starts with.
WsqFileOptions default_options() { return WsqFileOptions{24, 0.75, 500, nullptr}; }

int report_read_failure(int code) {
    if (code == -2) show_error("Error opening file for reading");
    if (code == -3) show_error("Error: file stream size = NULL");
    if (code == -4) show_error("Error reading input file");
    return code == -3 ? BMG_ERR_NO_MEMORY : (code == -4 ? BMG_ERR_READ_FILE : BMG_ERR_OPEN_FILE);
}

// Decoded gray rows (top row first) become bottom-up rows of three equal bytes.
void widen_gray(const unsigned char* gray, BMGImage* img) {
    for (uint32_t r = 0; r < img->height; ++r) {
        const unsigned char* in = gray + static_cast<size_t>(r) * img->width;
        uint8_t* out = codec_io::ImageRow(*img, img->height - 1 - r);
        for (uint32_t x = 0; x < img->width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
    }
}

// The codec state of the caller: the codec's process-wide tables for the C exports, a call's
// own (made on its first WSQ file) when it installed a CallState.
struct Codec {
    wsq::DecoderState& decoder;
    wsq::WsqTrees& trees;
    wsq::EncoderState encoder;
};

Codec callers_codec() {
    CallState* own = platform::PerCall<CallState>::installed();
    if (own == nullptr)
        return {wsq::process_decoder_state(), wsq::process_trees(), wsq::process_encoder_state()};
    if (!own->wsq) own->wsq = std::make_unique<WsqFileCodec>();
    WsqFileCodec& codec = *own->wsq;
    return {codec.decoder, codec.trees, {&codec.trees, &codec.quant, 1, &codec.work}};
}

struct Decoded {
    unsigned char* pixels = nullptr;
    int width = 0, height = 0, depth = 0, ppi = 0, lossy = 0;
    ~Decoded() { std::free(pixels); }
};

int read_wsq(const unsigned char* data, int length, BMGImage* img, WsqFileOptions* options) {
    Decoded decoded;
    Codec codec = callers_codec();
    codec.decoder.limits = wsq_decode_limits();
    if (wsq::wsq_decode(codec.decoder, codec.trees, &decoded.pixels, &decoded.width,
                        &decoded.height, &decoded.depth, &decoded.ppi, &decoded.lossy, data,
                        length) != 0 ||
        decoded.pixels == nullptr || decoded.width <= 0 || decoded.height <= 0)
        return BMG_ERR_CORRUPT_FORMAT;
    img->width = static_cast<uint32_t>(decoded.width);
    img->height = static_cast<uint32_t>(decoded.height);
    img->bitsPerPixel = 24;
    img->dibLayout = 0;
    options->depth = decoded.depth;
    options->ppi = decoded.ppi;
    std::free(options->comment);
    options->comment = nullptr;
    const int scan = wsq::scan_comments(data, static_cast<size_t>(length), &options->comment);
    if (scan != 0) return scan;
    const BMGError status = AllocateImageRecord(img);
    if (status != BMG_OK) return status;
    widen_gray(decoded.pixels, img);
    return 0;
}

// Gray rows, top row first: 8-bit bytes as they stand, 24-bit pixels as their channel mean.
void gray_rows(const BMGImage& img, unsigned char* gray) {
    for (uint32_t r = 0; r < img.height; ++r) {
        const uint8_t* in = codec_io::ImageRow(img, img.height - 1 - r);
        unsigned char* out = gray + static_cast<size_t>(r) * img.width;
        if (img.bitsPerPixel == 8) {
            std::memcpy(out, in, img.width);
            continue;
        }
        for (uint32_t x = 0; x < img.width; ++x, in += 3)
            out[x] = static_cast<unsigned char>((in[0] + in[1] + in[2]) / 3);
    }
}

}  // namespace

int read_raw_from_filesize(const char* filename, unsigned char** data, int* length) {
    const long long size = filename == nullptr ? -1 : file_length(filename);
    if (size < 0) return -1;
    std::FILE* file = std::fopen(filename, "rb");
    if (file == nullptr) {
        diag("ERORR : read_raw_from_filesize : fopen : %s\n", filename);
        return -2;
    }
    // The codec measures streams in int: a larger file is as unusable as one without memory.
    auto* buffer =
        size > INT_MAX ? nullptr : static_cast<unsigned char*>(std::malloc(size > 0 ? size : 1));
    if (buffer == nullptr) {
        diag("ERORR : read_raw_from_filesize : malloc : idata\n");
        std::fclose(file);
        return -3;
    }
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(size), file);
    std::fclose(file);
    if (got != static_cast<size_t>(size)) {
        diag("ERORR : main : read_raw_from_filesize : ");
        diag("%d of %d bytes read from %s\n", static_cast<int>(got), static_cast<int>(size),
             filename);
        std::free(buffer);
        return -4;
    }
    *data = buffer;
    *length = static_cast<int>(size);
    return 0;
}

int write_raw_from_memsize(const char* filename, const unsigned char* data, int length) {
    std::FILE* file = filename == nullptr ? nullptr : std::fopen(filename, "wb");
    if (file == nullptr) {
        diag("ERROR: write_raw_from_memsize : fopen : %s\n", filename ? filename : "(null)");
        return -2;
    }
    const size_t wanted = length > 0 ? static_cast<size_t>(length) : 0;
    size_t written = std::fwrite(data, 1, wanted, file);
    // Data still buffered when the file closes can fail too (a full disk): also a short write.
    if (std::fclose(file) != 0 && written == wanted) written = 0;
    if (written != wanted) {
        diag("ERROR: write_raw_from_memsize : fwrite : ");
        diag("only %d of %d bytes written from file s\n", static_cast<int>(written), length);
        return -3;
    }
    return 0;
}

int ReadWsqFile(const char* filename, BMGImage* img, WsqFileOptions* options) {
    if (img == nullptr) return BMG_ERR_IMAGE_POINTER;
    WsqFileOptions fallback = default_options();
    WsqFileOptions* used = options != nullptr ? options : &fallback;
    unsigned char* data = nullptr;
    int length = 0;
    const int raw = read_raw_from_filesize(filename, &data, &length);
    if (raw != 0) return report_read_failure(raw);
    const int result = read_wsq(data, length, img, used);
    std::free(data);
    if (used == &fallback) std::free(fallback.comment);
    return result;
}

BMGError WriteWsqFile(const char* filename, BMGImage img, WsqFileOptions* options) {
    SetLastImageError(BMG_OK);
    if (img.bitsPerPixel != 8 && img.bitsPerPixel != 24) {
        diag("ERROR: read_raw_or_ihead : ");
        diag("image depth = %d not 8 or 24\n", img.bitsPerPixel);
        return BMG_ERR_BITS_PER_PIXEL;
    }
    // Rows are read at the record's own stride, which must hold the pixels it claims.
    const uint64_t packed = uint64_t{img.width} * (img.bitsPerPixel / 8);
    if (img.pixels == nullptr || img.width == 0 || img.height == 0 || img.rowBytes < packed ||
        img.width > INT_MAX || img.height > INT_MAX)
        return BMG_ERR_IMAGE_POINTER;
    const WsqFileOptions used = options != nullptr ? *options : default_options();
    auto* gray =
        static_cast<unsigned char*>(std::malloc(static_cast<size_t>(img.width) * img.height));
    if (gray == nullptr) return BMG_ERR_NO_MEMORY;
    gray_rows(img, gray);
    unsigned char* stream = nullptr;
    int stream_length = 0;
    Codec codec = callers_codec();
    const int encoded =
        wsq::wsq_encode(codec.encoder, &stream, &stream_length, static_cast<float>(used.bitrate),
                        gray, static_cast<int>(img.width), static_cast<int>(img.height),
                        img.bitsPerPixel, used.ppi, used.comment);
    std::free(gray);
    if (encoded != 0) return BMG_ERR_FORMAT_OPTION;
    const int written = write_raw_from_memsize(filename, stream, stream_length);
    std::free(stream);
    if (written == -2) show_error("Error opening file for writing");
    if (written == -3) show_error("Error writing output file");
    // A short write must not count as a file: the caller would put it in place of the old one.
    return written == 0 ? BMG_OK : BMG_ERR_WRITE_FILE;
}

}  // namespace quorvel::raster
