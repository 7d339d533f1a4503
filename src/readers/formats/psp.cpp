// Paint Shop Pro reader: the block structure of files of major version 3 and later, the
// general image attributes, the palette and the raster layers' channels, raw, run-length or
// LZ77. Colour images compose every visible raster layer (normal blending, the layer's
// opacity and transparency mask) into blue, green, red, alpha; indexed and gray ones place
// their layers' indexes.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "formats/deflate_bound.h"
#include "readers/decoders/psp_lz77.h"
#include "readers/decoders/run_length.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/formats/psp_compose.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

struct PSPTag;
using TPSPGraphic = TFormatGraphic<PSPTag>;

constexpr const char* kName = "PSP";
constexpr char kMagic[] = "Paint Shop Pro Image File";
constexpr size_t kSignatureBytes = 32;
enum PspBlock : uint16_t { pbImage = 0, pbColour = 2, pbLayerBank = 3, pbLayer = 4, pbChannel = 5 };
enum PspCompression : uint16_t { pcNone = 0, pcRLE = 1, pcLZ77 = 2, pcJPEG = 3 };

// A block: where its fields start, where its sub-blocks or data start, and its end. Files of
// version 3 give the first chunk's length in the block header; later ones start each chunk
// with its own length.
struct Block {
    uint16_t id = 0;
    size_t fields = 0, data = 0, end = 0;
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int64_t width() const { return int64_t{right} - left; }
    int64_t height() const { return int64_t{bottom} - top; }
};

struct PspImage {
    int32_t width = 0, height = 0;
    double resolution = 0;
    uint8_t metric = 0;
    uint16_t compression = 0, bit_depth = 0;
    bool grey = false;
    unsigned channel_bits() const { return bit_depth == 24 ? 8u : bit_depth; }
    size_t row_bytes(int64_t width) const {
        return (static_cast<size_t>(width) * channel_bits() + 7) / 8;
    }
};

class PspReader {
public:
    PspReader(ByteView& in, unsigned major) : in_(in), v3_(major == 3) {}

    // The block at the position, or false when fewer bytes than a header are left before `limit`.
    bool next(size_t limit, Block& b) {
        if (in_.position() + (v3_ ? 14 : 10) > limit) return false;
        const auto tag = in_.take(4);
        if (std::memcmp(tag.data(), "~BK\0", 4) != 0)
            throw toolkit::EInvalidGraphic(toolkit::format_message(gesInvalidImage, kName));
        b.id = in_.le16();
        const uint32_t initial = v3_ ? in_.le32() : 0;
        const uint32_t total = in_.le32();
        const size_t start = in_.position();
        if (total > limit - start) in_.short_read();
        b.end = start + total;
        // Banks and the blocks this reader skips have no first chunk of their own to measure.
        const bool chunked =
            b.id == pbImage || b.id == pbColour || b.id == pbLayer || b.id == pbChannel;
        const uint32_t chunk = v3_ ? initial : chunked ? peek32(start) : 0;
        if (chunk > total) in_.short_read();
        b.fields = start + (v3_ || !chunked ? 0 : 4);
        b.data = start + chunk;
        return true;
    }
    uint32_t peek32(size_t at) {
        const size_t back = in_.position();
        in_.seek(at);
        const uint32_t v = in_.le32();
        in_.seek(back);
        return v;
    }
    bool v3() const { return v3_; }
    ByteView& in() { return in_; }

private:
    ByteView& in_;
    bool v3_;
};

bool has_magic(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSignatureBytes + 4) return false;
    for (size_t i = 0; i < sizeof kMagic - 1; ++i)
        if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(kMagic[i])))
            return false;
    return true;
}

double read_double(ByteView& in) {
    const auto b = in.take(8);
    double d;
    std::memcpy(&d, b.data(), 8);  // little-endian IEEE, as the host
    return d;
}

PspImage read_image_block(ByteView& in, const Block& b) {
    in.seek(b.fields);
    PspImage img;
    img.width = static_cast<int32_t>(in.le32());
    img.height = static_cast<int32_t>(in.le32());
    img.resolution = read_double(in);
    img.metric = in.u8();
    img.compression = in.le16();
    img.bit_depth = in.le16();
    in.skip(2 + 4);  // plane count, colour count
    img.grey = in.u8() != 0;
    return img;
}

std::vector<RGBQUAD> read_palette_block(ByteView& in, const Block& b) {
    in.seek(b.fields);
    const uint32_t entries = std::min<uint32_t>(in.le32(), 256);
    in.seek(b.data);
    const auto quads = in.take(uint64_t{entries} * 4);
    std::vector<RGBQUAD> palette(entries);
    for (uint32_t i = 0; i < entries; ++i)
        palette[i] = RGBQUAD{quads[4 * i], quads[4 * i + 1], quads[4 * i + 2], 0};
    return palette;
}

enum PspBitmapType : uint16_t { btImage = 0, btTransparencyMask = 1 };

// One channel's samples as rows over the layer's saved rectangle.
struct Channel {
    uint16_t bitmap_type = 0, channel_type = 0;
    std::vector<uint8_t> bytes;
};

// A raster layer as its block describes it; its channels are read when it is drawn.
struct LayerInfo {
    Block block;
    Rect saved;
    uint8_t opacity = 255;
    bool visible = false;
    uint64_t pixels = 0;  // what its image channels can hold, at most its saved area
};

// What the walk over the top-level blocks found.
struct PspContent {
    bool have_image = false;
    PspImage image;
    std::vector<RGBQUAD> palette;
    std::vector<LayerInfo> layers;  // raster layers with image channels, bottom first
};

bool valid_depth(uint16_t bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 24; }

class LayerLoader {
public:
    LayerLoader(PspReader& r, const PspImage& img, uint64_t max_bytes)
        : r_(r), img_(img), max_bytes_(max_bytes) {}

    // The layer block's description; false for a layer that holds no raster.
    bool describe(const Block& layer, LayerInfo& info) {
        ByteView& in = r_.in();
        in.seek(layer.fields);
        in.skip(r_.v3() ? 256 : in.le16());  // the name
        const uint8_t type = in.u8();
        in.skip(16);  // the layer's rectangle; the saved part is what the channels hold
        const Rect& saved = info.saved =
            Rect{int32_t(in.le32()), int32_t(in.le32()), int32_t(in.le32()), int32_t(in.le32())};
        info.opacity = in.u8();
        in.skip(1);  // blend mode: every mode is drawn as normal
        info.visible = (in.u8() & 1) != 0;
        info.block = layer;
        // A layer is never larger than the largest picture the limits allow.
        constexpr int64_t kSide = int64_t{1} << 28;
        if (type > 2 || saved.width() <= 0 || saved.height() <= 0 || saved.width() > kSide ||
            saved.height() > kSide)
            return false;
        for_each_channel(layer, [&](const Block&, uint16_t bitmap_type, uint16_t channel_type,
                                    uint32_t packed, uint32_t unpacked) {
            if (bitmap_type != btImage || !drawn_channel(channel_type)) return;
            const uint64_t held =
                std::min({uint64_t{unpacked}, padded_bytes(saved), most_unpacked(packed)});
            info.pixels = std::max(info.pixels,
                                   std::min<uint64_t>(held * 8 / img_.channel_bits(), area(saved)));
        });
        return info.pixels > 0;
    }

    // The layer's image channels and its transparency mask, decoded.
    std::vector<Channel> read(const LayerInfo& info) {
        std::vector<Channel> channels;
        for_each_channel(
            info.block, [&](const Block& b, uint16_t bitmap_type, uint16_t channel_type,
                            uint32_t packed, uint32_t unpacked) {
                const bool image = bitmap_type == btImage && drawn_channel(channel_type);
                if (!image && !(bitmap_type == btTransparencyMask && channel_type == 0)) return;
                ByteView& in = r_.in();
                in.seek(b.data);
                const auto source = in.take(packed);
                const uint64_t size = std::min<uint64_t>(unpacked, padded_bytes(info.saved));
                if (size > std::min(max_bytes_, most_unpacked(packed))) fail_size();
                Channel c{bitmap_type, channel_type, std::vector<uint8_t>(size, 0)};
                decode(source, c.bytes);
                channels.push_back(std::move(c));
            });
        return channels;
    }

    size_t padded_stride(int64_t width) const {
        return (static_cast<size_t>(width) * img_.channel_bits() + 31) / 32 * 4;
    }

private:
    // Calls `visit` with each channel block of the layer and its four leading fields.
    template <typename Visit>
    void for_each_channel(const Block& layer, Visit visit) {
        ByteView& in = r_.in();
        size_t at = layer.data;
        if (!r_.v3()) at += r_.peek32(at);  // the bitmap information chunk
        in.seek(at);
        Block b;
        while (r_.next(layer.end, b)) {
            if (b.id == pbChannel) {
                in.seek(b.fields);
                const uint32_t packed = in.le32(), unpacked = in.le32();
                const uint16_t bitmap_type = in.le16(), channel_type = in.le16();
                visit(b, bitmap_type, channel_type, packed, unpacked);
            }
            in.seek(b.end);
        }
    }
    void decode(std::span<const uint8_t> source, std::vector<uint8_t>& target) const {
        if (img_.compression == pcRLE) {
            TPSPRLEDecoder().decode(source, target);
        } else if (img_.compression == pcLZ77) {
            psp_inflate(source, target);
        } else {
            std::copy_n(source.begin(), std::min(source.size(), target.size()), target.begin());
        }
    }
    // What `packed` bytes can expand to: run-length codes give at most 127 bytes for 2.
    uint64_t most_unpacked(uint64_t packed) const {
        if (img_.compression == pcRLE) return packed * 64;
        return img_.compression == pcLZ77 ? formats::deflate_most_bytes(packed) : packed;
    }
    // Colour images draw their red, green and blue channels, the others their index channel.
    bool drawn_channel(uint16_t type) const {
        return img_.bit_depth == 24 ? type >= 1 && type <= 3 : type == 0;
    }
    static uint64_t area(const Rect& r) {
        return static_cast<uint64_t>(r.width()) * static_cast<uint64_t>(r.height());
    }
    uint64_t padded_bytes(const Rect& r) const {
        return uint64_t{padded_stride(r.width())} * static_cast<uint64_t>(r.height());
    }
    [[noreturn]] static void fail_size() {
        throw toolkit::EInvalidGraphic(toolkit::format_message(gesInvalidImage, kName));
    }

    PspReader& r_;
    const PspImage& img_;
    uint64_t max_bytes_;
};

unsigned major_version(ByteView& in) {
    in.seek(kSignatureBytes);
    return in.le16();
}

void read_layer_bank(PspReader& r, const Block& bank, PspContent& c) {
    ByteView& in = r.in();
    in.seek(bank.data);
    Block b;
    if (!valid_depth(c.image.bit_depth)) return;  // refused once the walk is done
    LayerLoader loader(r, c.image, 0);
    while (r.next(bank.end, b)) {
        LayerInfo info;
        if (b.id == pbLayer && loader.describe(b, info)) c.layers.push_back(info);
        in.seek(b.end);
    }
}

// Walks the top-level blocks; with `layers`, also describes the raster layers.
PspContent walk(ByteView& in, bool layers) {
    PspReader r(in, major_version(in));
    in.seek(kSignatureBytes + 4);
    PspContent c;
    Block b;
    while (r.next(in.size(), b)) {
        if (b.id == pbImage) {
            c.image = read_image_block(in, b);
            c.have_image = true;
            if (!layers) break;
        } else if (b.id == pbColour) {
            c.palette = read_palette_block(in, b);
        } else if (b.id == pbLayerBank && layers && c.have_image) {
            read_layer_bank(r, b, c);
        }
        in.seek(b.end);
    }
    return c;
}

ColorModel model_of(const PspImage& img) {
    if (img.bit_depth == 24) return cmRGB;
    return img.grey ? cmGray : cmIndexed;
}

// A canvas larger than 2048 x 2048 pixels may be at most 64 times what its layers hold (a
// 33 KB file claimed 16384 x 16384 pixels and no layer at all), as for GIF screens.
constexpr uint64_t kFreeCanvasPixels = uint64_t{1} << 22;
constexpr uint64_t kCanvasPerLayerPixels = 64;

uint64_t most_canvas_pixels(const std::vector<LayerInfo>& layers) {
    uint64_t held = 0;
    for (const LayerInfo& l : layers) held = std::min<uint64_t>(held + l.pixels, uint64_t{1} << 40);
    return std::max(kFreeCanvasPixels, held * kCanvasPerLayerPixels);
}

// The layer's channels as planes: rows padded to 4 bytes when the data holds that many.
LayerPlane plane_of(const Channel& ch, const LayerInfo& layer, const PspImage& img, size_t padded) {
    const size_t row = img.row_bytes(layer.saved.width());
    const bool full = ch.bytes.size() >= padded * static_cast<size_t>(layer.saved.height());
    return LayerPlane{ch.bytes.data(), ch.bytes.size(), full ? padded : row};
}

// Draws one layer: a colour layer blended over what is below, an index layer placed.
void draw_layer(LayerLoader& loader, const LayerInfo& layer, const PspImage& img,
                const Canvas& canvas) {
    const std::vector<Channel> channels = loader.read(layer);
    const size_t padded = loader.padded_stride(layer.saved.width());
    const LayerArea area{layer.saved.left, layer.saved.top, layer.saved.width(),
                         layer.saved.height(), layer.opacity};
    LayerPlane rgb[3], mask, index;
    for (const Channel& ch : channels) {
        const LayerPlane p = plane_of(ch, layer, img, padded);
        if (ch.bitmap_type == btTransparencyMask) mask = p;
        else if (ch.channel_type == 0) index = p;
        else rgb[ch.channel_type - 1] = p;
    }
    if (img.bit_depth == 24) blend_colour_layer(area, rgb, mask, canvas);
    else if (index.bytes != nullptr) place_index_layer(area, index, img.channel_bits(), canvas);
}

}  // namespace

template <>
bool TPSPGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (!has_magic(stream.rest())) return false;
    ByteView in(stream.rest(), kName);
    const unsigned major = major_version(in);
    if (major < 3) return false;
    const PspContent c = walk(in, false);
    if (!c.have_image) return false;
    ReaderImageInfo& info = image_info();
    const PspImage& img = c.image;
    info.version = major;
    info.width = img.width;
    info.height = img.height;
    info.color_model = valid_depth(img.bit_depth) ? model_of(img) : cmNone;
    info.sample_bits = static_cast<uint8_t>(img.channel_bits());
    info.samples = img.bit_depth == 24 ? 3 : 1;
    info.pixel_bits = static_cast<uint8_t>(img.bit_depth);
    const uint8_t codes[] = {ctNone, ctRLE, ctLZ77, ctJPEG};
    info.compression = img.compression < 4 ? codes[img.compression] : uint8_t{ctUnknown};
    const float factor = img.metric == 2 ? 2.54f : 1.0f;
    info.x_resolution = info.y_resolution = static_cast<float>(img.resolution) * factor;
    return true;
}

template <>
void TPSPGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const PspContent c = walk(in, true);
    const PspImage& header = c.image;
    if (!valid_depth(header.bit_depth)) fail(gesInvalidColorFormat, kName);
    if (header.compression == pcJPEG) fail(gesNotSupported, gesCompressionScheme, kName);
    if (header.compression > pcJPEG) fail(gesInvalidImage, kName);
    // A picture is what its visible raster layers show; without one there is nothing to show.
    std::vector<LayerInfo> shown;
    for (const LayerInfo& l : c.layers)
        if (l.visible && l.opacity > 0) shown.push_back(l);
    if (shown.empty()) fail(gesInvalidImage, kName);
    const ColorModel model = model_of(header);
    if (model == cmRGB) set_up_conversion(color_manager(), cmRGBA, 8, 4, coAlpha);
    else set_up_conversion(color_manager(), model, header.channel_bits(), 1);
    // The canvas bound is a plausibility rule of its own: no further slack on top of it.
    if (uint64_t(std::max(header.width, 0)) * uint64_t(std::max(header.height, 0)) >
        most_canvas_pixels(c.layers))
        refuse_size(header.width, header.height);
    prepare_bitmap(header.width, header.height, 0);
    if (model == cmIndexed) set_palette(c.palette);

    progress_start(gesLoadingData);
    const Canvas canvas{header.width, header.height, [this](int y) { return scanline(y); }};
    for (int y = 0; y < header.height; ++y) std::fill_n(scanline(y), row_bytes(), uint8_t{0});
    PspReader r(in, major_version(in));
    LayerLoader loader(r, header, limits().max_load_bytes);
    for (size_t i = 0; i < shown.size(); ++i) {
        draw_layer(loader, shown[i], header, canvas);
        progress_row(static_cast<int>(i + 1), static_cast<int>(shown.size()));
    }
    progress_end();
}

const toolkit::GraphicClass& psp_graphic_class() {
    return reader_class<TPSPGraphic>("TPSPGraphic");
}

}  // namespace quorvel::readers
