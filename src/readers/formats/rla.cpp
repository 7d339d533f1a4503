// Alias/Wavefront RLA reader: run-length coded colour channels (and a matte channel as alpha),
// one offset-table entry a scan line, scan lines bottom-up.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "readers/decoders/run_length.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

// Option bit of the information record: scan lines are stored bottom first.
inline constexpr uint32_t rlaBottomUp = 1;

struct RLATag;
using TRLAGraphic = TFormatGraphic<RLATag>;

constexpr const char* kName = "RLA";
constexpr size_t kHeaderBytes = 740;

struct RlaHeader {
    int16_t left, right, bottom, top;  // the active window: where pixel data lies
    uint16_t colour_channels, matte_channels, aux_channels;
    std::string gamma, description, space;
    uint16_t channel_bits, matte_bits;

    int width() const { return right - left + 1; }
    int height() const { return top - bottom + 1; }
    unsigned all_channels() const {
        return unsigned{colour_channels} + matte_channels + aux_channels;
    }
};

// A fixed text field up to its first zero byte.
std::string text_field(ByteView& in, size_t at, size_t length) {
    in.seek(at);
    const auto bytes = in.take(length);
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return std::string(bytes.begin(), end);
}

int16_t signed16(ByteView& in) { return static_cast<int16_t>(in.be16()); }

RlaHeader read_header(ByteView& in) {
    RlaHeader h{};
    in.seek(8);
    h.left = signed16(in);
    h.right = signed16(in);
    h.bottom = signed16(in);
    h.top = signed16(in);
    in.seek(20);
    h.colour_channels = in.be16();
    h.matte_channels = in.be16();
    h.aux_channels = in.be16();
    h.gamma = text_field(in, 28, 16);
    h.description = text_field(in, 272, 128);
    h.space = text_field(in, 580, 32);
    in.seek(658);
    h.channel_bits = in.be16();
    in.seek(662);
    h.matte_bits = in.be16();
    in.seek(kHeaderBytes);
    return h;
}

// Older writers leave the bit counts at 0: they mean 8.
bool eight_bit(uint16_t bits) { return bits == 0 || bits == 8; }

bool colour_space_known(const std::string& space) { return space.empty() || space == "rgb"; }

unsigned shown_channels(const RlaHeader& h) {
    const unsigned colour = h.colour_channels >= 3 ? 3 : 1;
    return colour == 3 && h.matte_channels > 0 && eight_bit(h.matte_bits) ? 4 : colour;
}

ColorModel model_of(unsigned channels) {
    return channels == 4 ? cmRGBA : channels == 3 ? cmRGB : cmGray;
}

// Channel `c` of the scan line at `offset`: the index of the shown channel it feeds, or -1.
int plane_for(const RlaHeader& h, unsigned c, unsigned shown) {
    if (c < h.colour_channels) return c < std::min(shown, 3u) ? static_cast<int>(c) : -1;
    return shown == 4 && c == h.colour_channels ? 3 : -1;
}

}  // namespace

template <>
bool TRLAGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < kHeaderBytes) return false;
    ByteView in(stream.rest(), kName);
    const RlaHeader h = read_header(in);
    if (h.colour_channels == 0 || h.width() <= 0 || h.height() <= 0) return false;
    ReaderImageInfo& info = image_info();
    const unsigned shown = shown_channels(h);
    info.width = h.width();
    info.height = h.height();
    info.sample_bits = 8;
    info.samples = static_cast<uint8_t>(shown);
    info.pixel_bits = static_cast<uint8_t>(8 * shown);
    info.color_model = colour_space_known(h.space) ? model_of(shown) : cmNone;
    info.compression = ctRLE;
    info.info_options = rlaBottomUp;
    info.comment = h.description;
    const float gamma = std::strtof(h.gamma.c_str(), nullptr);
    if (gamma > 0) info.gamma = gamma;
    return true;
}

template <>
void TRLAGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const RlaHeader h = read_header(in);
    if (!colour_space_known(h.space)) fail(gesInvalidColorFormat, kName);
    if (!eight_bit(h.channel_bits))
        fail(gesNotSupported, std::to_string(h.channel_bits) + "-bit channels", kName);
    const unsigned shown = shown_channels(h);
    set_up_conversion(color_manager(), model_of(shown), 8, shown);
    color_manager().set_gamma(image_info().gamma);
    const int width = h.width(), height = h.height();
    if (!in.has(uint64_t(height) * 4)) in.short_read();
    std::vector<uint32_t> offsets(static_cast<size_t>(height));
    for (auto& o : offsets) o = in.be32();
    // Each channel of a line takes at least its 2-byte length and 2 bytes of runs of 128.
    prepare_bitmap(width, height, uint64_t{in.size()} * 32 + 128);

    progress_start(gesLoadingData);
    TRLADecoder decoder;
    std::vector<uint8_t> planes(static_cast<size_t>(width) * shown);
    const uint8_t* source[4];
    for (unsigned c = 0; c < shown; ++c) source[c] = planes.data() + c * static_cast<size_t>(width);
    for (int line = 0; line < height; ++line) {
        std::fill(planes.begin(), planes.end(), 0);
        in.seek(offsets[line]);
        for (unsigned c = 0; c < h.all_channels(); ++c) {
            const auto data = in.take(in.be16());
            const int plane = plane_for(h, c, shown);
            if (plane >= 0)
                decoder.decode(
                    data,
                    std::span<uint8_t>(planes.data() + plane * static_cast<size_t>(width), width));
        }
        color_manager().convert_row(std::span<const uint8_t* const>(source, shown),
                                    scanline(height - 1 - line), static_cast<unsigned>(width));
        progress_row(line + 1, height);
    }
    progress_end();
}

const toolkit::GraphicClass& rla_graphic_class() {
    return reader_class<TRLAGraphic>("TRLAGraphic");
}

}  // namespace quorvel::readers
