// The LZW decoder for GIF images whose minimum code size giflib refuses, on its own: the first
// byte picks the code size (1 to 11), the next two the number of pixels wanted, the rest is
// the code data. It must stop inside both buffers whatever the codes say.
#include <cstdint>
#include <vector>

#include "raster/codecs/gif_lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int code_size = 1 + data[0] % quorvel::raster::kGifMaxMinimumCodeSize;
    std::vector<uint8_t> out(data[1] | size_t{data[2]} << 8);
    const std::vector<uint8_t> codes(data + 3, data + size);  // a copy, so reads past it are caught
    quorvel::raster::decode_gif_lzw(code_size, codes, out);
    return 0;
}
