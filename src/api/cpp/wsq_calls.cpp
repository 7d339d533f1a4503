// encode() and decode(): the codec drivers run on state that the call creates and destroys,
// never on the process-wide instances the C exports use.
#include <quorvel/quorvel.hpp>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "api/cpp/codec_call.h"
#include "api/cpp/kept_workspaces.h"
#include "api/cpp/stream_facts.h"
#include "raster/codecs/wsq_limits.h"
#include "wsq/decoder.h"
#include "wsq/encoder.h"
#include "wsq/records.h"
#include "wsq/stream.h"
#include "wsq/tree.h"

namespace quorvel {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using CodecBytes = std::unique_ptr<unsigned char, FreeDeleter>;

// The trees and quantization record one encode overwrites.
struct OwnEncoderState {
    std::unique_ptr<wsq::WsqTrees> trees = std::make_unique<wsq::WsqTrees>();
    std::unique_ptr<wsq::WsqQuantization> quant = std::make_unique<wsq::WsqQuantization>();
    wsq::EncoderState view(int threads, wsq::EncodeWorkspace* work) {
        return wsq::EncoderState{trees.get(), quant.get(), threads, work};
    }
};

cpp::KeptWorkspaces<wsq::EncodeWorkspace> kept_encode_buffers;
cpp::KeptWorkspaces<wsq::DecodeWorkspace> kept_decode_buffers;

void check_threads(const char* call, int threads) {
    if (threads < 1) cpp::invalid_argument(call, std::to_string(threads) + " threads");
}

std::vector<std::uint8_t> taken(CodecBytes bytes, std::size_t size) {
    return std::vector<std::uint8_t>(bytes.get(), bytes.get() + size);
}

}  // namespace

std::vector<std::uint8_t> encode(const std::uint8_t* pixels, int width, int height,
                                 const EncodeOptions& options) {
    if (pixels == nullptr) cpp::invalid_argument("encode", "no pixels");
    check_threads("encode", options.threads);
    cpp::CodecCall call("encode");
    OwnEncoderState own;
    cpp::BorrowedWorkspace<wsq::EncodeWorkspace> buffers(kept_encode_buffers);
    wsq::EncoderState state = own.view(options.threads, &buffers.work);
    unsigned char* data = nullptr;
    int length = 0;
    const char* comment = options.comment ? options.comment->c_str() : nullptr;
    const int code = wsq::wsq_encode(state, &data, &length, static_cast<float>(options.bitrate),
                                     pixels, width, height, 8, options.ppi, comment);
    CodecBytes owned(data);
    call.check(code);
    return taken(std::move(owned), static_cast<std::size_t>(length));
}

std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& pixels, int width, int height,
                                 const EncodeOptions& options) {
    const long long expected = static_cast<long long>(width) * height;
    if (width <= 0 || height <= 0 || static_cast<long long>(pixels.size()) != expected) {
        cpp::invalid_argument("encode", std::to_string(pixels.size()) + " pixels for a " +
                                            std::to_string(width) + " x " + std::to_string(height) +
                                            " image");
    }
    return encode(pixels.data(), width, height, options);
}

Image decode(const std::uint8_t* data, std::size_t size, const DecodeOptions& options) {
    if (data == nullptr && size != 0) cpp::invalid_argument("decode", "no data");
    check_threads("decode", options.threads);
    if (size > static_cast<std::size_t>(INT_MAX))
        cpp::invalid_argument("decode", "stream of 2 GiB or more");
    cpp::CodecCall call("decode");
    auto state = std::make_unique<wsq::DecoderState>();
    state->limits = raster::wsq_decode_limits();
    state->threads = options.threads;
    cpp::BorrowedWorkspace<wsq::DecodeWorkspace> buffers(kept_decode_buffers);
    state->work = std::move(buffers.work);
    auto trees = std::make_unique<wsq::WsqTrees>();
    unsigned char* pixels = nullptr;
    Image image;
    int depth = 0, lossy = 0;
    const int code = wsq::wsq_decode(*state, *trees, &pixels, &image.width, &image.height, &depth,
                                     &image.ppi, &lossy, data, static_cast<int>(size));
    buffers.work = std::move(state->work);
    CodecBytes owned(pixels);
    call.check(code);
    image.pixels = taken(std::move(owned), static_cast<std::size_t>(image.width) * image.height);
    cpp::add_comments(image, data, size);
    return image;
}

Image decode(const std::uint8_t* data, std::size_t size) { return decode(data, size, {}); }

Image decode(const std::vector<std::uint8_t>& data) { return decode(data.data(), data.size()); }

Image decode(const std::vector<std::uint8_t>& data, const DecodeOptions& options) {
    return decode(data.data(), data.size(), options);
}

bool looks_like_wsq(const std::uint8_t* data, std::size_t size) noexcept {
    if (data == nullptr || size < 4) return false;
    const unsigned first = (data[0] << 8) | data[1];
    const unsigned second = (data[2] << 8) | data[3];
    switch (second) {
        case wsq::SOF_WSQ:
        case wsq::DTT_WSQ:
        case wsq::DQT_WSQ:
        case wsq::DHT_WSQ:
        case wsq::DRT_WSQ:
        case wsq::COM_WSQ:
            return first == wsq::SOI_WSQ;
        default:
            return false;
    }
}

}  // namespace quorvel
