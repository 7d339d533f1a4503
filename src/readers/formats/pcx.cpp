// ZSoft Paintbrush reader: 1 to 8 bits in up to four planes, raw or run-length, with the
// header's 16-colour or the trailing 256-colour palette.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <vector>

#include "formats/run_length.h"
#include "readers/decoders/pcx_rle.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

struct PCXTag;
using TPCXGraphic = TFormatGraphic<PCXTag>;

constexpr const char* kName = "PCX or SCR";
constexpr size_t kHeaderBytes = 128;
constexpr size_t kTrailingPalette = 769;  // the 0x0C marker and 256 red, green, blue triples

struct PcxHeader {
    uint8_t version, encoding, bits;
    int width, height;
    uint16_t x_dpi, y_dpi;
    std::span<const uint8_t> colours;  // the header's 16 entries
    uint8_t planes;
    uint16_t line_bytes;
    uint16_t palette_info;
};

PcxHeader read_header(ByteView& in) {
    PcxHeader h{};
    in.skip(1);
    h.version = in.u8();
    h.encoding = in.u8();
    h.bits = in.u8();
    const int x0 = in.le16(), y0 = in.le16(), x1 = in.le16(), y1 = in.le16();
    h.width = x1 - x0 + 1;
    h.height = y1 - y0 + 1;
    h.x_dpi = in.le16();
    h.y_dpi = in.le16();
    h.colours = in.take(48);
    in.skip(1);
    h.planes = in.u8();
    h.line_bytes = in.le16();
    h.palette_info = in.le16();
    in.seek(kHeaderBytes);
    return h;
}

bool bit_planes(const PcxHeader& h) { return h.bits == 1 && h.planes > 1; }
bool colour_planes(const PcxHeader& h) { return h.bits == 8 && h.planes >= 3; }

bool valid_layout(const PcxHeader& h) {
    if (h.planes < 1 || h.planes > 4 || h.width <= 0 || h.height <= 0) return false;
    const bool single = h.planes == 1 && (h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8);
    if (!single && !bit_planes(h) && !colour_planes(h)) return false;
    return h.line_bytes >= (static_cast<uint64_t>(h.width) * h.bits + 7) / 8;
}

std::vector<RGBQUAD> header_palette(const PcxHeader& h) {
    std::vector<RGBQUAD> p(16);
    for (size_t i = 0; i < 16; ++i)
        p[i] = RGBQUAD{h.colours[3 * i + 2], h.colours[3 * i + 1], h.colours[3 * i], 0};
    return p;
}

// 256 colours behind a 0x0C marker at the end of the file; a gray ramp without them.
std::vector<RGBQUAD> trailing_palette(std::span<const uint8_t> file) {
    std::vector<RGBQUAD> p(256);
    const bool present = file.size() >= kHeaderBytes + kTrailingPalette &&
                         file[file.size() - kTrailingPalette] == 0x0C;
    const uint8_t* c = file.data() + file.size() - 768;
    for (unsigned i = 0; i < 256; ++i) {
        const auto g = static_cast<uint8_t>(i);
        p[i] = present ? RGBQUAD{c[3 * i + 2], c[3 * i + 1], c[3 * i], 0} : RGBQUAD{g, g, g, 0};
    }
    return p;
}

std::vector<RGBQUAD> palette_of(const PcxHeader& h, std::span<const uint8_t> file) {
    // Two-colour images take their colours from the header, as the container's reader does,
    // unless the header leaves them unset (no palette information, or entries 0 and 1 alike).
    const bool unset = h.palette_info == 0 ||
                       std::equal(h.colours.begin(), h.colours.begin() + 3, h.colours.begin() + 3);
    if (h.bits == 1 && h.planes == 1 && unset)
        return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    if (h.bits == 8) return trailing_palette(file);
    return header_palette(h);
}

// Bit planes combined into one 8-bit index a pixel, plane 0 the lowest bit.
void combine_bit_planes(const uint8_t* line, const PcxHeader& h, std::vector<uint8_t>& out) {
    for (int x = 0; x < h.width; ++x) {
        unsigned index = 0;
        for (unsigned p = 0; p < h.planes; ++p)
            index |= ((line[p * h.line_bytes + x / 8] >> (7 - x % 8)) & 1u) << p;
        out[x] = static_cast<uint8_t>(index);
    }
}

}  // namespace

template <>
bool TPCXGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < kHeaderBytes) return false;
    const uint8_t first = stream.rest()[0];
    if (first != 10 && first != 205) return false;
    ByteView in(stream.rest(), kName);
    const PcxHeader h = read_header(in);
    if (!valid_layout(h)) return false;
    ReaderImageInfo& info = image_info();
    info.version = h.version;
    info.width = h.width;
    info.height = h.height;
    info.sample_bits = h.bits;
    info.samples = h.planes;
    info.pixel_bits = static_cast<uint8_t>(h.bits * h.planes);
    info.color_model = info.pixel_bits > 8 ? (h.planes == 4 ? cmRGBA : cmRGB) : cmIndexed;
    info.compression = h.encoding == 1 ? ctRLE : ctNone;
    info.x_resolution = h.x_dpi;
    info.y_resolution = h.y_dpi;
    return true;
}

template <>
void TPCXGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const PcxHeader h = read_header(in);
    const bool colour = colour_planes(h);
    if (colour) set_up_conversion(color_manager(), h.planes == 4 ? cmRGBA : cmRGB, 8, h.planes);
    else set_up_conversion(color_manager(), cmIndexed, bit_planes(h) ? 8 : h.bits, 1);
    const size_t line = static_cast<size_t>(h.planes) * h.line_bytes;
    const uint64_t bytes =
        h.encoding == 1 ? formats::pcx_rle_most_bytes(in.remaining()) : in.remaining();
    const uint64_t most = std::max<uint64_t>(bytes / line * h.width, 1);
    prepare_bitmap(h.width, h.height, most);
    if (!colour) set_palette(palette_of(h, in.bytes()));

    progress_start(gesLoadingData);
    TPCXRLEDecoder decoder;
    decoder.decode_init();
    std::vector<uint8_t> scan(line), indexes(bit_planes(h) ? h.width : 0);
    for (int y = 0; y < h.height; ++y) {
        read_coded(in, h.encoding == 1 ? &decoder : nullptr, scan);
        const uint8_t* planes[4] = {scan.data(), scan.data() + h.line_bytes,
                                    scan.data() + 2 * h.line_bytes, scan.data() + 3 * h.line_bytes};
        if (bit_planes(h)) {
            combine_bit_planes(scan.data(), h, indexes);
            planes[0] = indexes.data();
        }
        color_manager().convert_row(std::span<const uint8_t* const>(planes, colour ? h.planes : 1u),
                                    scanline(y), static_cast<unsigned>(h.width));
        progress_row(y + 1, h.height);
    }
    progress_end();
}

const toolkit::GraphicClass& pcx_graphic_class() {
    return reader_class<TPCXGraphic>("TPCXGraphic");
}

}  // namespace quorvel::readers
