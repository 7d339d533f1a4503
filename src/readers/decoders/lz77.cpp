#include "readers/decoders/lz77.h"

#include <zlib.h>

#include <climits>

#include "toolkit/graphic_errors.h"

namespace quorvel::readers {

DecodeResult TLZ77Decoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw toolkit::EGraphicCompression(gesLZ77Error);
    size_t in = 0, out = 0;
    int status = Z_OK;
    // zlib counts in 32-bit units: feed and fill in pieces it can count.
    while (status == Z_OK && out < target.size()) {
        z.next_in = const_cast<Bytef*>(source.data() + in);
        z.avail_in = static_cast<uInt>(std::min<size_t>(source.size() - in, UINT_MAX));
        z.next_out = target.data() + out;
        z.avail_out = static_cast<uInt>(std::min<size_t>(target.size() - out, UINT_MAX));
        const uInt given_in = z.avail_in, given_out = z.avail_out;
        status = inflate(&z, Z_NO_FLUSH);
        in += given_in - z.avail_in;
        out += given_out - z.avail_out;
        if (status == Z_BUF_ERROR || (given_in == z.avail_in && given_out == z.avail_out)) break;
    }
    if (inflateEnd(&z) != Z_OK) throw toolkit::EGraphicCompression(gesLZ77Error);
    return {in, out};
}

}  // namespace quorvel::readers
