// SGI image reader: 1, 3 or 4 channels of 8 or 16 bits, verbatim or run-length, rows bottom-up.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <vector>

#include "formats/sgi_sizes.h"
#include "readers/decoders/sgi_rle.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

struct SGITag;
using TSGIGraphic = TFormatGraphic<SGITag>;

constexpr const char* kName = "sgi, bw or rgb(a)";
constexpr size_t kHeaderBytes = 512;

struct SgiHeader {
    uint8_t storage, bytes_per_channel;
    uint16_t dimension, width, height, channels;
};

SgiHeader read_header(ByteView& in) {
    SgiHeader h{};
    in.skip(2);  // magic
    h.storage = in.u8();
    h.bytes_per_channel = in.u8();
    h.dimension = in.be16();
    h.width = in.be16();
    h.height = in.be16();
    h.channels = in.be16();
    // One-dimensional images are a single row, two-dimensional ones a single channel.
    if (h.dimension == 1) h.height = 1;
    if (h.dimension <= 2) h.channels = 1;
    return h;
}

bool valid_header(const SgiHeader& h) {
    return h.storage <= 1 && (h.bytes_per_channel == 1 || h.bytes_per_channel == 2) &&
           h.dimension >= 1 && h.dimension <= 3 && h.channels >= 1;
}

// Channels the bitmap shows: gray (a second channel is dropped), RGB or RGBA.
unsigned used_channels(const SgiHeader& h) { return h.channels >= 4 ? 4 : h.channels == 3 ? 3 : 1; }

ColorModel model_of(unsigned channels) {
    return channels == 4 ? cmRGBA : channels == 3 ? cmRGB : cmGray;
}

// Where each row of each channel lies: the start and length tables, or the verbatim layout.
struct RowTable {
    std::vector<uint32_t> start, length;
};

RowTable read_tables(ByteView& in, const SgiHeader& h) {
    const size_t entries = static_cast<size_t>(h.height) * h.channels;
    if (!in.has(uint64_t{entries} * 8)) in.short_read();
    RowTable t;
    t.start.resize(entries);
    t.length.resize(entries);
    for (auto& s : t.start) s = in.be32();
    for (auto& l : t.length) l = in.be32();
    return t;
}

class SgiRows {
public:
    SgiRows(ByteView& in, const SgiHeader& h) : in_(in), h_(h), decoder_(h.bytes_per_channel) {
        if (h.storage == 1) tables_ = read_tables(in, h);
    }
    // Channel `c` of file row `r` (0 = bottom) into `plane`.
    void read(unsigned r, unsigned c, std::span<uint8_t> plane) {
        const auto bytes = in_.bytes();
        if (h_.storage == 0) {
            const uint64_t at = kHeaderBytes + (uint64_t{c} * h_.height + r) * plane.size();
            if (at + plane.size() > bytes.size()) in_.short_read();
            std::copy_n(bytes.data() + at, plane.size(), plane.data());
            return;
        }
        const size_t entry = static_cast<size_t>(c) * h_.height + r;
        const uint64_t start = tables_.start[entry], length = tables_.length[entry];
        if (start + length > bytes.size()) in_.short_read();
        std::fill(plane.begin(), plane.end(), 0);
        decoder_.decode(bytes.subspan(start, length), plane);
    }

private:
    ByteView& in_;
    const SgiHeader& h_;
    TSGIRLEDecoder decoder_;
    RowTable tables_;
};

}  // namespace

template <>
bool TSGIGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < kHeaderBytes) return false;
    ByteView in(stream.rest(), kName);
    if (in.be16() != 474) return false;
    in.seek(0);
    const SgiHeader h = read_header(in);
    if (!valid_header(h)) return false;
    ReaderImageInfo& info = image_info();
    info.width = h.width;
    info.height = h.height;
    info.sample_bits = static_cast<uint8_t>(h.bytes_per_channel * 8);
    info.samples = static_cast<uint8_t>(std::min<unsigned>(h.channels, 4));
    info.pixel_bits = static_cast<uint8_t>(info.sample_bits * used_channels(h));
    info.color_model = used_channels(h) == 1 ? cmIndexed : model_of(used_channels(h));
    info.compression = h.storage == 1 ? ctRLE : ctNone;
    return true;
}

template <>
void TSGIGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const SgiHeader h = read_header(in);
    const unsigned channels = used_channels(h), n = h.bytes_per_channel;
    set_up_conversion(color_manager(), model_of(channels), 8 * n, channels,
                      n == 2 ? uint32_t{coNeedByteSwap} : 0u);
    const uint64_t most =
        formats::sgi_pixels_in_file(h.storage == 1, in.size() - kHeaderBytes, h.channels, n);
    in.seek(kHeaderBytes);
    SgiRows rows(in, h);
    prepare_bitmap(h.width, h.height, most);

    progress_start(gesLoadingData);
    const size_t plane_bytes = static_cast<size_t>(h.width) * n;
    std::vector<uint8_t> planes(plane_bytes * channels);
    const uint8_t* source[4];
    for (unsigned c = 0; c < channels; ++c) source[c] = planes.data() + c * plane_bytes;
    for (unsigned r = 0; r < h.height; ++r) {
        for (unsigned c = 0; c < channels; ++c)
            rows.read(r, c, std::span<uint8_t>(planes.data() + c * plane_bytes, plane_bytes));
        color_manager().convert_row(std::span<const uint8_t* const>(source, channels),
                                    scanline(h.height - 1 - r), h.width);
        progress_row(static_cast<int>(r) + 1, h.height);
    }
    progress_end();
}

const toolkit::GraphicClass& sgi_graphic_class() {
    return reader_class<TSGIGraphic>("TSGIGraphic");
}

}  // namespace quorvel::readers
