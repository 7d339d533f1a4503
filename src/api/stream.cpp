#include "api/stream.h"

#include <cstdlib>

#include "raster/codecs/wsq_limits.h"
#include "wsq/wsq.h"

namespace quorvel::api {
namespace {

// The output convention: *out holds the buffer this function returned last time (or null);
// after the first call it is freed before the new result is made.
void release_previous(bool first_call, unsigned char** out) {
    if (first_call) return;
    std::free(*out);
    *out = nullptr;
}

}  // namespace

int encode_stream(StreamFlags& flags, const unsigned char* pixels, int width, int height,
                  double bitrate, int ppi, const char* comment, unsigned char** out,
                  int* out_length) {
    // Without a place for the result there is nothing to free and nothing to return.
    if (out == nullptr) return 1;
    release_previous(flags.encode_first_call, out);
    int unused_length = 0;
    int* length = out_length != nullptr ? out_length : &unused_length;
    if (pixels != nullptr) {
        // The encoder reports its own failures on standard error; the export always answers 1.
        wsq::wsq_encode_1(out, length, static_cast<float>(bitrate), pixels, width, height, 8, ppi,
                          comment);
    }
    flags.encode_first_call = false;
    return 1;
}

namespace {

// Decodes into *out; outputs the host did not provide go to scratch variables.
void decode_pixels(const unsigned char* data, int length, unsigned char** out, int* width,
                   int* height, int* ppi) {
    if (out == nullptr || data == nullptr || length <= 0) return;
    int scratch_width = 0, scratch_height = 0, scratch_ppi = 0, depth = 0, lossy = 0;
    wsq::process_decoder_state().limits = raster::wsq_decode_limits();
    wsq::wsq_decode_mem(out, width != nullptr ? width : &scratch_width,
                        height != nullptr ? height : &scratch_height, &depth,
                        ppi != nullptr ? ppi : &scratch_ppi, &lossy, data, length);
}

}  // namespace

int decode_stream(StreamFlags& flags, const unsigned char* data, int length, unsigned char** out,
                  int* width, int* height, int* ppi, char** comment) {
    if (out != nullptr) release_previous(flags.decode_first_call, out);
    decode_pixels(data, length, out, width, height, ppi);

    // A negative length or a null buffer holds no bytes: the scan then fails at SOI.
    const size_t available = data != nullptr && length > 0 ? static_cast<size_t>(length) : 0;
    char* scratch_comment = nullptr;
    char** target = comment != nullptr ? comment : &scratch_comment;
    const int code = wsq::scan_comments(available > 0 ? data : nullptr, available, target);
    std::free(scratch_comment);
    if (code != 0) return code;
    flags.decode_first_call = false;
    return 1;
}

}  // namespace quorvel::api
