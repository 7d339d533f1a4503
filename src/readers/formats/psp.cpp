#include "readers/formats/psp.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "readers/decoders/psp_lz77.h"
#include "readers/decoders/psp_rle.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

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
    size_t row_bytes(int64_t width) const { return (static_cast<size_t>(width) * channel_bits() + 7) / 8; }
};

class PspReader {
public:
    PspReader(ByteView& in, unsigned major) : in_(in), v3_(major == 3) {}

    // The block at the position, or false when fewer bytes than a header are left before `limit`.
    bool next(size_t limit, Block& b) {
        if (in_.position() + (v3_ ? 14 : 10) > limit) return false;
        const auto tag = in_.take(4);
        if (std::memcmp(tag.data(), "~BK\0", 4) != 0) throw toolkit::EInvalidGraphic(toolkit::format_message(gesInvalidImage, kName));
        b.id = in_.le16();
        const uint32_t initial = v3_ ? in_.le32() : 0;
        const uint32_t total = in_.le32();
        const size_t start = in_.position();
        if (total > limit - start) in_.short_read();
        b.end = start + total;
        // Banks and the blocks this reader skips have no first chunk of their own to measure.
        const bool chunked = b.id == pbImage || b.id == pbColour || b.id == pbLayer || b.id == pbChannel;
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
        if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(kMagic[i]))) return false;
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

// One channel's pixels as rows of `stride` bytes.
struct Channel {
    uint16_t type = 0;
    std::vector<uint8_t> bytes;
};

class LayerLoader {
public:
    LayerLoader(PspReader& r, const PspImage& img, uint64_t max_bytes) : r_(r), img_(img), max_bytes_(max_bytes) {}

    // The image channels of the layer block, false for a layer that holds no raster.
    bool read(const Block& layer, Rect& saved, std::vector<Channel>& channels) {
        ByteView& in = r_.in();
        in.seek(layer.fields);
        if (r_.v3())
            in.skip(256);
        else
            in.skip(in.le16());
        const uint8_t type = in.u8();
        in.skip(16);  // the layer's rectangle; the saved part is what the channels hold
        saved = Rect{int32_t(in.le32()), int32_t(in.le32()), int32_t(in.le32()), int32_t(in.le32())};
        // A layer is never larger than the largest picture the limits allow.
        constexpr int64_t kSide = int64_t{1} << 28;
        if (type > 2 || saved.width() <= 0 || saved.height() <= 0 || saved.width() > kSide || saved.height() > kSide)
            return false;
        size_t at = layer.data;
        if (!r_.v3()) at += r_.peek32(at);  // the bitmap information chunk
        in.seek(at);
        Block b;
        while (r_.next(layer.end, b)) {
            if (b.id == pbChannel) read_channel(b, saved, channels);
            in.seek(b.end);
        }
        return !channels.empty();
    }

private:
    void read_channel(const Block& b, const Rect& saved, std::vector<Channel>& channels) {
        ByteView& in = r_.in();
        in.seek(b.fields);
        const uint32_t packed = in.le32(), unpacked = in.le32();
        const uint16_t bitmap_type = in.le16(), channel_type = in.le16();
        if (bitmap_type != 0 || channel_type > 3) return;
        in.seek(b.data);
        const auto source = in.take(packed);
        const uint64_t padded = uint64_t{padded_stride(saved.width())} * saved.height();
        if (std::min<uint64_t>(unpacked, padded) > std::min(max_bytes_, most_unpacked(packed))) fail_size();
        Channel c{channel_type, std::vector<uint8_t>(std::min<uint64_t>(unpacked, padded), 0)};
        decode(source, c.bytes);
        channels.push_back(std::move(c));
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
    // What `packed` bytes can expand to: run-length codes give at most 127 bytes for 2,
    // deflate about 1032 for 1.
    uint64_t most_unpacked(uint64_t packed) const {
        if (img_.compression == pcRLE) return packed * 64;
        return img_.compression == pcLZ77 ? packed * 1032 + 64 : packed;
    }
    size_t padded_stride(int64_t width) const { return (static_cast<size_t>(width) * img_.channel_bits() + 31) / 32 * 4; }
    [[noreturn]] static void fail_size() { throw toolkit::EInvalidGraphic(toolkit::format_message(gesInvalidImage, kName)); }

    PspReader& r_;
    const PspImage& img_;
    uint64_t max_bytes_;
};

bool valid_depth(uint16_t bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 24; }

// What the walk over the top-level blocks found.
struct PspContent {
    bool have_image = false;
    PspImage image;
    std::vector<RGBQUAD> palette;
    Rect saved;
    std::vector<Channel> channels;
};

unsigned major_version(ByteView& in) {
    in.seek(kSignatureBytes);
    return in.le16();
}

void read_layer_bank(PspReader& r, const Block& bank, PspContent& c, uint64_t max_bytes) {
    ByteView& in = r.in();
    in.seek(bank.data);
    Block b;
    LayerLoader loader(r, c.image, max_bytes);
    while (c.channels.empty() && r.next(bank.end, b)) {
        if (b.id == pbLayer) loader.read(b, c.saved, c.channels);
        in.seek(b.end);
    }
}

// Walks the top-level blocks; with `layers`, also reads the first raster layer.
PspContent walk(ByteView& in, bool layers, uint64_t max_bytes) {
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
        } else if (b.id == pbLayerBank && layers && c.have_image && c.channels.empty()) {
            read_layer_bank(r, b, c, max_bytes);
        }
        in.seek(b.end);
    }
    return c;
}

ColorModel model_of(const PspImage& img) {
    if (img.bit_depth == 24) return cmRGB;
    return img.grey ? cmGray : cmIndexed;
}

// The saved rectangle's rows placed on the canvas (rows of `row_bytes`), clipped to it.
void place(const Channel& ch, const Rect& saved, const PspImage& img, std::vector<uint8_t>& plane) {
    const size_t canvas_row = img.row_bytes(img.width), saved_row = img.row_bytes(saved.width());
    const size_t stride = ch.bytes.size() >= (saved_row + 3) / 4 * 4 * saved.height() ? (saved_row + 3) / 4 * 4 : saved_row;
    const bool aligned = (static_cast<int64_t>(saved.left) * img.channel_bits()) % 8 == 0 && saved.left >= 0;
    const size_t left = aligned ? static_cast<size_t>(saved.left) * img.channel_bits() / 8 : 0;
    for (int y = 0; y < saved.height(); ++y) {
        const int64_t row = int64_t{saved.top} + y;
        if (row < 0 || row >= img.height || (y + 1) * stride > ch.bytes.size() || left >= canvas_row) continue;
        const size_t count = std::min(saved_row, canvas_row - left);
        std::copy_n(ch.bytes.data() + y * stride, count, plane.data() + static_cast<size_t>(row) * canvas_row + left);
    }
}

}  // namespace

bool TPSPGraphic::can_load_stream(toolkit::Stream& stream) {
    const size_t pos = stream.position();
    bool ok = false;
    try {
        ok = read_image_info(stream, 0);
    } catch (const toolkit::GraphicError&) {
    }
    stream.seek(pos);
    return ok;
}

bool TPSPGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (!has_magic(stream.rest())) return false;
    ByteView in(stream.rest(), kName);
    const unsigned major = major_version(in);
    if (major < 3) return false;
    const PspContent c = walk(in, false, 0);
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

void TPSPGraphic::LoadFromStream(toolkit::Stream& stream) {
    load_guarded(*this, [&] { load_image(stream); });
}

void TPSPGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const PspImage header = walk(in, false, 0).image;
    if (!valid_depth(header.bit_depth)) fail(gesInvalidColorFormat, kName);
    if (header.compression == pcJPEG) fail(gesNotSupported, gesCompressionScheme, kName);
    if (header.compression > pcJPEG) fail(gesInvalidImage, kName);
    const ColorModel model = model_of(header);
    set_up_conversion(color_manager(), model, header.channel_bits(), model == cmRGB ? 3 : 1);
    // Even LZ77 shrinks a channel at most about 1032 to 1.
    prepare_bitmap(header.width, header.height, uint64_t{in.size()} * 1032 * 8);
    const PspContent c = walk(in, true, limits().max_load_bytes);
    if (model == cmIndexed) set_palette(c.palette);

    progress_start(gesLoadingData);
    const unsigned planes = model == cmRGB ? 3 : 1;
    const size_t row = header.row_bytes(header.width);
    std::vector<std::vector<uint8_t>> canvas(planes, std::vector<uint8_t>(row * header.height, 0));
    for (const Channel& ch : c.channels) {
        const unsigned plane = planes == 3 ? ch.type - 1u : 0u;
        if ((planes == 3) == (ch.type != 0) && plane < planes) place(ch, c.saved, header, canvas[plane]);
    }
    const uint8_t* source[3];
    for (int y = 0; y < header.height; ++y) {
        for (unsigned p = 0; p < planes; ++p) source[p] = canvas[p].data() + static_cast<size_t>(y) * row;
        color_manager().convert_row(std::span<const uint8_t* const>(source, planes), scanline(y),
                                    static_cast<unsigned>(header.width));
        progress_row(y + 1, header.height);
    }
    progress_end();
}

const toolkit::GraphicClass& psp_graphic_class() { return reader_class<TPSPGraphic>("TPSPGraphic"); }

}  // namespace quorvel::readers
