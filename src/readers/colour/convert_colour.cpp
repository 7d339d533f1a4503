// The colour row converter: each pixel's samples are read at the source's depth (planar or
// interleaved, 16-bit words in either byte order, 5-bit samples as 5-5-5 words), turned into
// red, green, blue and alpha by the source model's pixel decoder, passed through the gamma
// table when asked, and written in the target's layout. Here too: the RGB(A)/BGR(A) and CMYK
// decoders and the selection of a decoder.
#include "formats/cmyk.h"
#include "formats/pixel_order.h"
#include "readers/colour/color_manager.h"
#include "readers/colour/colour_models.h"
#include "readers/colour/samples.h"

namespace quorvel::readers {

using namespace colour;

namespace {

// Sample `c` of a 5-5-5 word (red, green, blue from the top; bit 15 is the alpha bit).
uint8_t sample_of_555(unsigned word, unsigned c) {
    return c < 3 ? to8((word >> (10 - 5 * c)) & 31, 5) : to8((word >> 15) & 1, 1);
}

void write_pixel(uint8_t* out, const uint8_t* rgba, unsigned bytes, bool blue_first) {
    if (bytes == 2) {  // the bitmap's 5-5-5 word, blue in the low bits
        const unsigned word = (rgba[2] >> 3) | ((rgba[1] >> 3) << 5) | ((rgba[0] >> 3) << 10);
        out[0] = static_cast<uint8_t>(word);
        out[1] = static_cast<uint8_t>(word >> 8);
        return;
    }
    out[0] = blue_first ? rgba[2] : rgba[0];
    out[1] = rgba[1];
    out[2] = blue_first ? rgba[0] : rgba[2];
    if (bytes == 4) out[3] = rgba[3];
}

// The samples of source pixel i as 8-bit values: planar or interleaved, any depth, 16-bit
// words in either byte order, 5-bit samples as one 5-5-5 word a pixel.
struct SampleReader {
    std::span<const uint8_t* const> planes;
    unsigned bits, stride, used;
    bool big_endian;

    bool planar() const { return planes.size() > 1; }
    void read(size_t i, uint8_t* s) const {
        if (bits == 5 && !planar()) {
            const unsigned word = read_raw(planes[0], i, 16, big_endian);
            for (unsigned c = 0; c < used; ++c) s[c] = sample_of_555(word, c);
            return;
        }
        for (unsigned c = 0; c < used; ++c)
            s[c] = to8(planar() ? read_raw(planes[c], i, bits, big_endian)
                                : read_raw(planes[0], i * stride + c, bits, big_endian),
                       bits);
    }
};

// 8-bit interleaved RGB(A) or BGR(A) into 3 or 4 bytes a pixel: the common case in one loop,
// and three-byte pixels exchanging red and blue with the vector kernel.
void copy_rgb8(const uint8_t* in, unsigned in_samples, bool in_alpha, bool swap, uint8_t* out,
               unsigned out_bytes, unsigned count) {
    if (in_samples == 3 && out_bytes == 3 && swap) return formats::swap_red_blue(in, out, count);
    const unsigned first = swap ? 2 : 0, last = swap ? 0 : 2;
    for (unsigned x = 0; x < count; ++x, in += in_samples, out += out_bytes) {
        out[0] = in[first];
        out[1] = in[1];
        out[2] = in[last];
        if (out_bytes == 4) out[3] = in_alpha ? in[3] : 255;
    }
}

}  // namespace

bool TColorManager::source_has_alpha() const {
    return source_.samples >= 4 &&
           (has_alpha_model(source_.model) || (source_.options & coAlpha) != 0);
}

TColorManager::PixelDecoder TColorManager::colour_decoder() {
    if (!is_rgb_kind(target_.model) && !is_bgr_kind(target_.model)) return nullptr;
    const ColorModel model = source_.model;
    const unsigned samples = source_.samples;
    if (is_rgb_kind(model) || is_bgr_kind(model)) {
        if (samples < 3) return nullptr;
        samples_read_ = source_has_alpha() ? 4 : 3;
        return is_rgb_kind(model) ? &TColorManager::pixel_rgb : &TColorManager::pixel_bgr;
    }
    if (model == cmCMYK) {
        if (samples < 4) return nullptr;
        samples_read_ = 4;
        return &TColorManager::pixel_cmyk;
    }
    if (samples < 3) return nullptr;
    samples_read_ = 3;
    switch (model) {
        case cmCIELab:
            return &TColorManager::pixel_lab;
        case cmYCbCr:
            build_ycbcr_tables();
            return &TColorManager::pixel_ycbcr;
        case cmPhotoYCC:
            build_photo_ycc_tables();
            return &TColorManager::pixel_ycbcr;
        default:
            samples_read_ = 0;
            return nullptr;
    }
}

void TColorManager::row_colour(std::span<const uint8_t* const> source, uint8_t* target,
                               unsigned count, uint8_t mask) {
    const SampleReader in{source, source_.bits, source_.samples, samples_read_,
                          (source_.options & coNeedByteSwap) != 0};
    const unsigned out_bytes = target_pixel_bytes();
    const bool blue_first = is_bgr_kind(target_.model);
    const bool gamma = gamma_requested();
    const bool rgb_family =
        decoder_ == &TColorManager::pixel_rgb || decoder_ == &TColorManager::pixel_bgr;
    if (rgb_family && in.bits == 8 && !in.planar() && mask == 0xFF && !gamma && out_bytes >= 3) {
        const bool swap = (decoder_ == &TColorManager::pixel_rgb) == blue_first;
        copy_rgb8(source[0], in.stride, in.used == 4, swap, target, out_bytes, count);
        return;
    }
    size_t next = 0;  // the source holds only the pixels the mask selects
    for (unsigned x = 0; x < count; ++x) {
        if (!pixel_selected(mask, x)) continue;
        uint8_t s[4] = {0, 0, 0, 0}, rgba[4] = {0, 0, 0, 255};
        in.read(next++, s);
        (this->*decoder_)(s, rgba);
        if (gamma)
            for (unsigned c = 0; c < 3; ++c) rgba[c] = gamma_table_[rgba[c]];
        write_pixel(target + size_t(x) * out_bytes, rgba, out_bytes, blue_first);
    }
}

void TColorManager::pixel_rgb(const uint8_t* s, uint8_t* rgba) const {
    rgba[0] = s[0];
    rgba[1] = s[1];
    rgba[2] = s[2];
    rgba[3] = samples_read_ == 4 ? s[3] : 255;
}

void TColorManager::pixel_bgr(const uint8_t* s, uint8_t* rgba) const {
    rgba[0] = s[2];
    rgba[1] = s[1];
    rgba[2] = s[0];
    rgba[3] = samples_read_ == 4 ? s[3] : 255;
}

void TColorManager::pixel_cmyk(const uint8_t* s, uint8_t* rgba) const {
    for (unsigned c = 0; c < 3; ++c) rgba[c] = formats::light_of_ink(s[c], s[3]);
}

}  // namespace quorvel::readers
