// Autodesk Animator PIC/CEL reader: a 32-byte header, a 256-colour palette of 6-bit values,
// then raw 8-bit rows, top to bottom.
#include "readers/graphic_ex.h"

#include <algorithm>
#include <vector>

#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

struct AutodeskTag;
using TAutodeskGraphic = TFormatGraphic<AutodeskTag>;

constexpr const char* kName = "Autodesk";
constexpr uint16_t kMagic = 0x9119;
constexpr size_t kHeaderBytes = 32;  // the magic and the 30-byte header

// Palette values are 0..63 (the VGA's 6 bits), so times 4 reaches 252.
uint8_t widen(uint8_t value) { return static_cast<uint8_t>(std::min(value * 4, 255)); }

std::vector<RGBQUAD> read_palette(ByteView& in) {
    const auto rgb = in.take(768);
    std::vector<RGBQUAD> palette(256);
    for (size_t i = 0; i < 256; ++i)
        palette[i] = RGBQUAD{widen(rgb[3 * i + 2]), widen(rgb[3 * i + 1]), widen(rgb[3 * i]), 0};
    return palette;
}

}  // namespace

template <>
bool TAutodeskGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < kHeaderBytes) return false;
    ByteView in(stream.rest(), kName);
    if (in.le16() != kMagic) return false;
    ReaderImageInfo& info = image_info();
    info.width = in.le16();
    info.height = in.le16();
    describe_samples(info, cmIndexed, 8, 1, ctNone);
    return true;
}

template <>
void TAutodeskGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    in.skip(2);
    const int width = in.le16(), height = in.le16();
    in.seek(kHeaderBytes);
    const std::vector<RGBQUAD> palette = read_palette(in);
    set_up_conversion(color_manager(), cmIndexed, 8, 1);
    prepare_bitmap(width, height, std::max<uint64_t>(in.remaining(), 1));  // 0 would mean no bound
    set_palette(palette);

    progress_start(gesTransfering);
    for (int y = 0; y < height; ++y) {
        const uint8_t* source[1] = {in.take(static_cast<size_t>(width)).data()};
        color_manager().convert_row(source, scanline(y), static_cast<unsigned>(width));
        progress_row(y + 1, height);
    }
    progress_end();
}

const toolkit::GraphicClass& autodesk_graphic_class() {
    return reader_class<TAutodeskGraphic>("TAutodeskGraphic");
}

}  // namespace quorvel::readers
