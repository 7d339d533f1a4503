// Truevision Targa reader: colour-mapped, true-colour and gray images, raw or run-length.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <vector>

#include "formats/palette.h"
#include "formats/run_length.h"
#include "readers/decoders/targa_rle.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

struct TargaTag;
using TTargaGraphic = TFormatGraphic<TargaTag>;

constexpr const char* kName = "Targa";

struct TargaHeader {
    uint8_t id_length, map_type, image_type;
    uint16_t map_first, map_length;
    uint8_t map_bits;
    uint16_t width, height;
    uint8_t pixel_bits, descriptor;
};

TargaHeader read_header(ByteView& in) {
    TargaHeader h{};
    h.id_length = in.u8();
    h.map_type = in.u8();
    h.image_type = in.u8();
    h.map_first = in.le16();
    h.map_length = in.le16();
    h.map_bits = in.u8();
    in.skip(4);  // origin
    h.width = in.le16();
    h.height = in.le16();
    h.pixel_bits = in.u8();
    h.descriptor = in.u8();
    return h;
}

bool known_type(uint8_t type) { return (type >= 1 && type <= 3) || (type >= 9 && type <= 11); }
bool gray_type(uint8_t type) { return type == 3 || type == 11; }
bool mapped_type(uint8_t type) { return type == 1 || type == 9; }

// Mapped images index with 8 bits, gray ones store 8 bits (16 with an alpha byte), true
// colour 15 to 32.
bool valid_depth(const TargaHeader& h) {
    if (mapped_type(h.image_type)) return h.pixel_bits == 8 && h.map_type == 1;
    if (gray_type(h.image_type)) return h.pixel_bits == 8 || h.pixel_bits == 16;
    return h.pixel_bits == 15 || h.pixel_bits == 16 || h.pixel_bits == 24 || h.pixel_bits == 32;
}

unsigned pixel_bytes(unsigned bits) { return (bits + 7) / 8; }

// A 5-5-5 value (little-endian) as blue, green, red bytes, each 5-bit value times 8.
void expand_555(const uint8_t* in, uint8_t* bgr) { formats::bgr_from_555(in, bgr); }

// The colour map as blue, green, red, placed from its first index on.
std::vector<RGBQUAD> read_colour_map(ByteView& in, const TargaHeader& h) {
    const unsigned entry = pixel_bytes(h.map_bits);
    if (entry < 2 || entry > 4) in.short_read();
    const auto data = in.take(static_cast<uint64_t>(h.map_length) * entry);
    std::vector<RGBQUAD> palette(256, RGBQUAD{0, 0, 0, 0});
    for (unsigned i = 0; i < h.map_length && h.map_first + i < 256u; ++i) {
        const uint8_t* e = data.data() + static_cast<size_t>(i) * entry;
        uint8_t bgr[3];
        if (entry == 2) expand_555(e, bgr);
        else std::copy(e, e + 3, bgr);
        palette[h.map_first + i] = RGBQUAD{bgr[0], bgr[1], bgr[2], 0};
    }
    return palette;
}

void set_up_colours(TColorManager& cm, const TargaHeader& h) {
    if (mapped_type(h.image_type)) set_up_conversion(cm, cmIndexed, 8, 1);
    else if (gray_type(h.image_type))
        set_up_conversion(cm, h.pixel_bits == 16 ? cmGrayAlpha : cmGray, 8, h.pixel_bits / 8);
    else if (h.pixel_bits == 32) set_up_conversion(cm, cmBGRA, 8, 4, coAlpha);
    else set_up_conversion(cm, cmBGR, 8, 3);  // 15/16-bit rows are widened to BGR first
}

// One file row into `out` as the colour manager takes it: 5-5-5 widened, right-to-left
// rows mirrored.
void finish_row(const std::vector<uint8_t>& row, std::vector<uint8_t>& out, const TargaHeader& h) {
    const unsigned n = pixel_bytes(h.pixel_bits), width = h.width;
    const bool wide = n == 2 && !gray_type(h.image_type);
    const unsigned out_n = wide ? 3 : n;
    out.resize(static_cast<size_t>(width) * out_n);
    const bool mirror = (h.descriptor & 0x10) != 0;
    for (unsigned x = 0; x < width; ++x) {
        const uint8_t* p = row.data() + static_cast<size_t>(x) * n;
        uint8_t* q = out.data() + static_cast<size_t>(mirror ? width - 1 - x : x) * out_n;
        if (wide) expand_555(p, q);
        else std::copy(p, p + n, q);
    }
}

}  // namespace

template <>
bool TTargaGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < 18) return false;
    ByteView in(stream.rest(), kName);
    const TargaHeader h = read_header(in);
    if (!known_type(h.image_type) || !valid_depth(h)) return false;
    ReaderImageInfo& info = image_info();
    info.width = h.width;
    info.height = h.height;
    info.pixel_bits = h.pixel_bits;
    const bool gray = gray_type(h.image_type), single = h.pixel_bits == 8;
    if (gray) info.color_model = single ? cmGray : cmGrayAlpha;
    else info.color_model = single ? cmIndexed : h.pixel_bits == 32 ? cmRGBA : cmRGB;
    info.samples = gray ? h.pixel_bits / 8 : single ? 1 : h.pixel_bits == 32 ? 4 : 3;
    info.sample_bits = gray || single || h.pixel_bits > 16 ? 8 : 5;
    info.compression = h.image_type >= 9 ? ctRLE : ctNone;
    return true;
}

template <>
void TTargaGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const TargaHeader h = read_header(in);
    in.skip(h.id_length);
    std::vector<RGBQUAD> palette;
    // True-colour and gray images may carry a colour map too; it is passed over.
    if (mapped_type(h.image_type)) palette = read_colour_map(in, h);
    else if (h.map_type == 1) in.skip(uint64_t{h.map_length} * pixel_bytes(h.map_bits));
    set_up_colours(color_manager(), h);

    const unsigned n = pixel_bytes(h.pixel_bits);
    const bool rle = h.image_type >= 9;
    const uint64_t most = rle ? formats::targa_rle_most_pixels(in.remaining(), n)
                              : std::max<uint64_t>(in.remaining() / n, 1);
    prepare_bitmap(h.width, h.height, most);
    if (mapped_type(h.image_type)) set_palette(palette);

    progress_start(gesLoadingData);
    TTargaRLEDecoder decoder(n);
    decoder.decode_init();
    std::vector<uint8_t> row(static_cast<size_t>(h.width) * n), ready;
    const bool top_first = (h.descriptor & 0x20) != 0;
    for (int y = 0; y < h.height; ++y) {
        read_coded(in, rle ? &decoder : nullptr, row);
        finish_row(row, ready, h);
        const uint8_t* source[1] = {ready.data()};
        color_manager().convert_row(source, scanline(top_first ? y : h.height - 1 - y), h.width);
        progress_row(y + 1, h.height);
    }
    decoder.decode_end();
    progress_end();
}

const toolkit::GraphicClass& targa_graphic_class() {
    return reader_class<TTargaGraphic>("TTargaGraphic");
}

}  // namespace quorvel::readers
