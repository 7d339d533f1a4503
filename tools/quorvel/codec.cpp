#include "codec.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/replacing_file.h"
#include "raster/codecs/wsq_limits.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace quorvel::tool {
namespace {

bool g_verbose = false;

// The codec's lines of one call, shown on failure (or always when verbose).
class CodecLines {
public:
    ~CodecLines() {
        if (g_verbose) std::fputs(capture_.text().c_str(), stderr);
    }
    std::string failure(const std::string& what, int code) const {
        std::string text = what + " failed (codec code " + std::to_string(code) + ")";
        if (!capture_.text().empty() && !g_verbose) text += ":\n" + capture_.text();
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

private:
    wsq::DiagCapture capture_;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

void set_verbose(bool verbose) { g_verbose = verbose; }
bool verbose() { return g_verbose; }

bool encode_wsq(const GrayImage& image, const EncodeRequest& request, std::vector<uint8_t>& stream,
                std::string& error) {
    CodecLines lines;
    unsigned char* data = nullptr;
    int length = 0;
    const int code = wsq::wsq_encode_1(
        &data, &length, static_cast<float>(request.bitrate), image.pixels.data(), image.width,
        image.height, 8, request.ppi, request.has_comment ? request.comment.c_str() : nullptr);
    std::unique_ptr<unsigned char, FreeDeleter> owned(data);
    if (code != 0) {
        error = lines.failure("encoding", code);
        return false;
    }
    stream.assign(data, data + length);
    return true;
}

bool decode_wsq(const std::vector<uint8_t>& stream, DecodedImage& decoded, std::string& error) {
    if (stream.size() > static_cast<size_t>(INT_MAX)) {
        error = "the stream is too large to decode";
        return false;
    }
    CodecLines lines;
    unsigned char* data = nullptr;
    int width = 0, height = 0, depth = 0, ppi = 0, lossy = 0;
    wsq::process_decoder_state().limits = raster::wsq_decode_limits();
    const int code = wsq::wsq_decode_mem(&data, &width, &height, &depth, &ppi, &lossy,
                                         stream.data(), static_cast<int>(stream.size()));
    std::unique_ptr<unsigned char, FreeDeleter> owned(data);
    if (code != 0) {
        error = lines.failure("decoding", code);
        return false;
    }
    decoded.image.width = width;
    decoded.image.height = height;
    decoded.image.pixels.assign(data,
                                data + static_cast<size_t>(width) * static_cast<size_t>(height));
    decoded.ppi = ppi;
    return true;
}

bool read_whole_file(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = path + ": read failed";
        return false;
    }
    return true;
}

// The file appears whole or not at all; an older file of that name survives a failed write.
bool write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string& error) {
    std::string reason;
    if (platform::write_file_replacing(path, bytes, reason)) return true;
    error = path + ": cannot create: " + reason;
    return false;
}

}  // namespace quorvel::tool
