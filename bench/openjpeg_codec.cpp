// OpenJPEG through memory streams: one gray component, one tile, one quality layer.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "reference_codecs.h"

namespace quorvel::bench {
namespace {

constexpr float kCompressionRatio = 15.0f;

// Where a stream reads from or writes to.
struct Memory {
    Bytes* bytes;
    size_t pos = 0;
};

OPJ_SIZE_T read_memory(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* m = static_cast<Memory*>(user);
    if (m->pos >= m->bytes->size()) return static_cast<OPJ_SIZE_T>(-1);
    const size_t count = std::min(n, m->bytes->size() - m->pos);
    std::memcpy(buffer, m->bytes->data() + m->pos, count);
    m->pos += count;
    return count;
}

OPJ_SIZE_T write_memory(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* m = static_cast<Memory*>(user);
    if (m->bytes->size() < m->pos + n) m->bytes->resize(m->pos + n);
    std::memcpy(m->bytes->data() + m->pos, buffer, n);
    m->pos += n;
    return n;
}

OPJ_OFF_T skip_memory(OPJ_OFF_T n, void* user) {
    auto* m = static_cast<Memory*>(user);
    m->pos = static_cast<size_t>(static_cast<OPJ_OFF_T>(m->pos) + n);
    return n;
}

OPJ_BOOL seek_memory(OPJ_OFF_T at, void* user) {
    static_cast<Memory*>(user)->pos = static_cast<size_t>(at);
    return OPJ_TRUE;
}

// opj_codec_t and opj_stream_t are the same type (void*): a deleter per destroy function.
template <typename T, void (*destroy)(T*)>
struct Destroy {
    void operator()(T* p) const { destroy(p); }
};
using OwnedCodec = std::unique_ptr<opj_codec_t, Destroy<opj_codec_t, opj_destroy_codec>>;
using OwnedStream = std::unique_ptr<opj_stream_t, Destroy<opj_stream_t, opj_stream_destroy>>;
using OwnedImage = std::unique_ptr<opj_image_t, Destroy<opj_image_t, opj_image_destroy>>;

OwnedStream memory_stream(Memory& m, bool input) {
    OwnedStream s(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, input ? 1 : 0));
    opj_stream_set_user_data(s.get(), &m, nullptr);
    opj_stream_set_user_data_length(s.get(), input ? m.bytes->size() : 0);
    opj_stream_set_read_function(s.get(), read_memory);
    opj_stream_set_write_function(s.get(), write_memory);
    opj_stream_set_skip_function(s.get(), skip_memory);
    opj_stream_set_seek_function(s.get(), seek_memory);
    return s;
}

OwnedImage gray_image(const unsigned char* px, int w, int h) {
    opj_image_cmptparm_t comp{};
    comp.dx = comp.dy = 1;
    comp.w = static_cast<OPJ_UINT32>(w);
    comp.h = static_cast<OPJ_UINT32>(h);
    comp.prec = 8;
    OwnedImage image(opj_image_create(1, &comp, OPJ_CLRSPC_GRAY));
    image->x1 = comp.w;
    image->y1 = comp.h;
    const size_t n = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < n; ++i) image->comps[0].data[i] = px[i];
    return image;
}

}  // namespace

Bytes openjpeg_encode(const unsigned char* px, int w, int h) {
    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.irreversible = 1;
    params.tcp_numlayers = 1;
    params.tcp_rates[0] = kCompressionRatio;
    params.cp_disto_alloc = 1;
    OwnedImage image = gray_image(px, w, h);
    OwnedCodec codec(opj_create_compress(OPJ_CODEC_J2K));
    Bytes out;
    Memory m{&out};
    OwnedStream stream = memory_stream(m, false);
    if (!opj_setup_encoder(codec.get(), &params, image.get()) ||
        !opj_start_compress(codec.get(), image.get(), stream.get()) ||
        !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get()))
        return {};
    out.resize(m.pos);
    return out;
}

Bytes openjpeg_decode(const Bytes& in) {
    Bytes copy = in;
    Memory m{&copy};
    OwnedStream stream = memory_stream(m, true);
    OwnedCodec codec(opj_create_decompress(OPJ_CODEC_J2K));
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    opj_image_t* raw = nullptr;
    if (!opj_setup_decoder(codec.get(), &params) ||
        !opj_read_header(stream.get(), codec.get(), &raw))
        return {};
    OwnedImage image(raw);
    if (!opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get()))
        return {};
    const opj_image_comp_t& c = image->comps[0];
    Bytes px(static_cast<size_t>(c.w) * c.h);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<unsigned char>(std::clamp(c.data[i], 0, 255));
    return px;
}

}  // namespace quorvel::bench
