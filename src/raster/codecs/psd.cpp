// The container's PSD reader: the whole file goes to the decoder the start-up handed in.
#include <atomic>

#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

std::atomic<PsdDecoder> g_decoder{nullptr};

BMGError parse_psd(formats::ByteCursor& in, BMGImage* img) {
    const PsdDecoder decoder = g_decoder.load();
    if (decoder == nullptr) return BMG_ERR_EXTENSION;
    return decoder(in.bytes().data(), in.size(), img);
}

}  // namespace

void SetPsdDecoder(PsdDecoder decoder) { g_decoder.store(decoder); }

BMGError ReadPsdFile(const char* filename, BMGImage* img) {
    return codec_io::ReadWholeFile(filename, img, parse_psd);
}

}  // namespace quorvel::raster
