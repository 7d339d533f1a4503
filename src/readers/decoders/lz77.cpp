#include "readers/decoders/lz77.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

// zlib, as far as the data goes: damaged or overlong blocks keep what was inflated.
DecodeResult inflate_with_zlib(std::span<const uint8_t> source, std::span<uint8_t> target) {
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

// One decompressor for the thread's life: making one per block costs more than a small strip.
libdeflate_decompressor* thread_decompressor() {
    struct Owner {
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        ~Owner() { libdeflate_free_decompressor(d); }
    };
    thread_local Owner owner;
    return owner.d;
}

}  // namespace

// libdeflate inflates a whole, sound block that fits in one pass, several times as fast as
// zlib; anything else (damage, a bad checksum, more data than the target holds) goes to zlib,
// whose partial result is the reader's rule.
DecodeResult TLZ77Decoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    libdeflate_decompressor* d = thread_decompressor();
    size_t in = 0, out = 0;
    if (d != nullptr &&
        libdeflate_zlib_decompress_ex(d, source.data(), source.size(), target.data(), target.size(),
                                      &in, &out) == LIBDEFLATE_SUCCESS)
        return {in, out};
    const DecodeResult result = inflate_with_zlib(source, target);
    std::fill(target.begin() + long(result.produced), target.end(),
              uint8_t{0});  // libdeflate's leftovers
    return result;
}

}  // namespace quorvel::readers
