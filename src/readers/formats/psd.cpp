// Photoshop reader: the composite image of a PSD or PDD file in any of its colour modes, raw
// or PackBits, 1, 8 or 16 bits a sample.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "readers/decoders/packbits.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

// Option bit of the information record: a bitmap-mode image (1 is black).
inline constexpr uint32_t psdBitmapMode = 1;

struct PSDTag;
using TPSDGraphic = TFormatGraphic<PSDTag>;

constexpr const char* kName = "PSD or PDD";

enum PsdMode : uint16_t {
    pmBitmap = 0,
    pmGray = 1,
    pmIndexed = 2,
    pmRGB = 3,
    pmCMYK = 4,
    pmMultichannel = 7,
    pmDuotone = 8,
    pmLab = 9
};

struct PsdHeader {
    uint16_t version, channels;
    uint32_t height, width;
    uint16_t depth, mode;
};

PsdHeader read_header(ByteView& in) {
    PsdHeader h{};
    in.skip(4);  // signature
    h.version = in.be16();
    in.skip(6);
    h.channels = in.be16();
    h.height = in.be32();
    h.width = in.be32();
    h.depth = in.be16();
    h.mode = in.be16();
    return h;
}

bool known_mode(uint16_t mode) {
    return mode <= pmCMYK || (mode >= pmMultichannel && mode <= pmLab);
}

bool valid_header(const PsdHeader& h) {
    if (h.version != 1 || h.channels == 0 || !known_mode(h.mode)) return false;
    if (h.mode == pmBitmap) return h.depth == 1;
    return h.depth == 8 || h.depth == 16;
}

// Colour model and the channels the bitmap shows (extra channels beyond them are dropped).
struct PsdLayout {
    ColorModel model;
    unsigned channels;
};

PsdLayout layout_of(const PsdHeader& h) {
    switch (h.mode) {
        case pmIndexed:
            return {cmIndexed, 1};
        case pmRGB:
        case pmMultichannel:
            if (h.channels >= 4) return {cmRGBA, 4};
            if (h.channels == 3) return {cmRGB, 3};
            return {cmGray, 1};
        case pmCMYK:
            return h.channels >= 4 ? PsdLayout{cmCMYK, 4} : PsdLayout{cmGray, 1};
        case pmLab:
            return h.channels >= 3 ? PsdLayout{cmCIELab, 3} : PsdLayout{cmGray, 1};
        default:
            return {cmGray, 1};  // bitmap, gray, duotone
    }
}

// A section with a 32-bit length; returns its bytes.
std::span<const uint8_t> section(ByteView& in) { return in.take(in.be32()); }

// Where each channel's rows start: raw rows follow each other, PackBits rows are as long as
// the byte-count table says (every count checked against the file).
struct RowPlaces {
    std::vector<size_t> offset, length;  // per channel * height + row
};

RowPlaces place_rows(ByteView& in, const PsdHeader& h, bool packed, size_t row_bytes) {
    const size_t rows = static_cast<size_t>(h.channels) * h.height;
    // The table or the rows must be in the file before anything is sized after them.
    if (packed ? !in.has(uint64_t{rows} * 2) : in.remaining() / row_bytes < rows) in.short_read();
    RowPlaces p;
    p.offset.resize(rows);
    p.length.resize(rows, row_bytes);
    if (packed)
        for (auto& l : p.length) l = in.be16();
    size_t at = in.position();
    for (size_t i = 0; i < rows; ++i) {
        if (p.length[i] > in.size() - at) in.short_read();
        p.offset[i] = at;
        at += p.length[i];
    }
    return p;
}

// Photoshop stores CMYK with 255 as no ink; the colour manager takes 0 as no ink.
void invert(std::span<uint8_t> bytes) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(~b);
}

// One row of one channel, raw or PackBits (a short row leaves zeros).
void read_plane(std::span<const uint8_t> data, std::span<uint8_t> plane, bool packed, bool cmyk) {
    if (packed) {
        std::fill(plane.begin(), plane.end(), 0);
        TPackbitsRLEDecoder().decode(data, plane);
    } else {
        std::copy_n(data.begin(), std::min(data.size(), plane.size()), plane.begin());
    }
    if (cmyk) invert(plane);
}

// The colour-mode data of an indexed image: 256 reds, then greens, then blues.
std::vector<RGBQUAD> indexed_palette(const TColorManager& cm, std::span<const uint8_t> colours) {
    const uint8_t* planes[3] = {colours.data(), colours.data() + 256, colours.data() + 512};
    return cm.create_color_palette(planes, PaletteLayout::Planar, 256, 8);
}

}  // namespace

template <>
bool TPSDGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < 26 || std::memcmp(stream.rest().data(), "8BPS", 4) != 0) return false;
    ByteView in(stream.rest(), kName);
    const PsdHeader h = read_header(in);
    if (!valid_header(h)) return false;
    const PsdLayout l = layout_of(h);
    ReaderImageInfo& info = image_info();
    info.version = h.version;
    info.width = static_cast<int32_t>(std::min<uint32_t>(h.width, INT32_MAX));
    info.height = static_cast<int32_t>(std::min<uint32_t>(h.height, INT32_MAX));
    info.sample_bits = static_cast<uint8_t>(h.depth);
    info.samples = static_cast<uint8_t>(std::min<unsigned>(h.channels, 4));
    info.pixel_bits = static_cast<uint8_t>(h.depth * l.channels);
    info.color_model = l.model;
    if (h.mode == pmBitmap) info.info_options |= psdBitmapMode;
    // The compression word follows the three length-prefixed sections.
    try {
        section(in);
        section(in);
        section(in);
        info.compression = in.be16() == 1 ? ctPackedBits : ctNone;
    } catch (const toolkit::EInvalidGraphic&) {
        info.compression = ctUnknown;
    }
    return true;
}

template <>
void TPSDGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const PsdHeader h = read_header(in);
    const PsdLayout l = layout_of(h);
    const auto colour_data = section(in);
    section(in);  // image resources
    section(in);  // layers and masks: the composite below is what the file shows
    const uint16_t compression = in.be16();
    if (compression > 1) fail(gesNotSupported, gesCompressionScheme, kName);
    if (h.mode == pmIndexed && colour_data.size() < 768) fail(gesInvalidPalette, kName);

    set_up_conversion(color_manager(), l.model, h.depth, l.channels,
                      h.depth == 16 ? uint32_t{coNeedByteSwap} : 0u);
    const size_t row_bytes = (static_cast<size_t>(h.width) * h.depth + 7) / 8;
    if (h.width == 0 || h.width > INT32_MAX || h.height > INT32_MAX) fail(gesInvalidImage, kName);
    const RowPlaces places = place_rows(in, h, compression == 1, row_bytes);
    // Every channel's rows decode from their PackBits bytes, at most 128 bytes from a two-byte run.
    uint64_t packed_bytes = 0;
    for (const size_t length : places.length) packed_bytes += length;
    const uint64_t most =
        compression == 1 ? packed_bytes * 64 * 8 / (uint64_t{h.depth} * h.channels) + 64 : 0;
    prepare_bitmap(static_cast<int>(h.width), static_cast<int>(h.height), most);
    if (h.mode == pmBitmap) set_palette(color_manager().make_gray_palette(true));
    if (h.mode == pmIndexed) set_palette(indexed_palette(color_manager(), colour_data));

    progress_start(gesLoadingData);
    std::vector<uint8_t> planes(row_bytes * l.channels);
    const uint8_t* source[4];
    for (unsigned c = 0; c < l.channels; ++c) source[c] = planes.data() + c * row_bytes;
    for (uint32_t y = 0; y < h.height; ++y) {
        for (unsigned c = 0; c < l.channels; ++c) {
            const size_t i = static_cast<size_t>(c) * h.height + y;
            const auto data = in.bytes().subspan(places.offset[i], places.length[i]);
            read_plane(data, std::span<uint8_t>(planes.data() + c * row_bytes, row_bytes),
                       compression == 1, h.mode == pmCMYK);
        }
        color_manager().convert_row(std::span<const uint8_t* const>(source, l.channels),
                                    scanline(static_cast<int>(y)), h.width);
        progress_row(static_cast<int>(y) + 1, static_cast<int>(h.height));
    }
    progress_end();
}

const toolkit::GraphicClass& psd_graphic_class() {
    return reader_class<TPSDGraphic>("TPSDGraphic");
}

}  // namespace quorvel::readers
