#include "readers/decoders/psp_lz77.h"

#include <zlib.h>

#include "toolkit/graphic_errors.h"

namespace quorvel::readers {

size_t psp_inflate(std::span<const uint8_t> source, std::span<uint8_t> target) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw toolkit::EGraphicCompression("LZ77 decompression error.");
    z.next_in = const_cast<Bytef*>(source.data());
    z.avail_in = static_cast<uInt>(std::min<size_t>(source.size(), UINT32_MAX));
    z.next_out = target.data();
    z.avail_out = static_cast<uInt>(std::min<size_t>(target.size(), UINT32_MAX));
    int status = Z_OK;
    while (status == Z_OK && z.avail_out > 0 && z.avail_in > 0) status = inflate(&z, Z_NO_FLUSH);
    const size_t produced = target.size() - z.avail_out;
    inflateEnd(&z);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
        throw toolkit::EGraphicCompression("LZ77 decompression error.");
    return produced;
}

}  // namespace quorvel::readers
