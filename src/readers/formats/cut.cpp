// Dr. Halo CUT reader: 8-bit run-length rows; the colours come from the .pal file beside the
// picture, handed over by the file side, or are a gray ramp without one.
#include "readers/graphic_ex.h"

#include <cstring>
#include <vector>

#include "readers/decoders/run_length.h"
#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

class TCUTGraphic : public TGraphicExGraphic {
public:
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    std::string sibling_extension() const override { return ".pal"; }
    void set_sibling(std::vector<uint8_t> bytes, bool found) override;

private:
    void load_image(toolkit::Stream& stream) override;
    std::vector<uint8_t> palette_file_;
    bool have_palette_file_ = false;
};

constexpr const char* kName = "CUT";
constexpr size_t kHeaderBytes = 6;  // width, height, a reserved word
constexpr size_t kPaletteHeader = 40;
constexpr size_t kPaletteBlock = 512;

uint8_t scaled(uint16_t value, uint16_t most) {
    if (most == 0) return static_cast<uint8_t>(std::min<unsigned>(value, 255));
    return static_cast<uint8_t>(std::min<unsigned>(value, most) * 255u / most);
}

[[noreturn]] void invalid_palette() {
    throw toolkit::EInvalidGraphic(toolkit::format_message(gesInvalidPalette, kName));
}

// A Dr. Halo palette: a 40-byte header ("AH", ..., the largest index and the largest red,
// green and blue values), then red, green, blue words in 512-byte blocks, a triple never
// running across a block's end.
std::vector<RGBQUAD> read_halo_palette(std::span<const uint8_t> file) {
    if (file.size() < kPaletteHeader || file[0] != 'A' || file[1] != 'H') invalid_palette();
    const unsigned entries = std::min(formats::le16(file, 12) + 1u, 256u);
    const uint16_t most[3] = {formats::le16(file, 14), formats::le16(file, 16),
                              formats::le16(file, 18)};
    std::vector<RGBQUAD> palette(256, RGBQUAD{0, 0, 0, 0});
    size_t at = kPaletteHeader;
    for (unsigned i = 0; i < entries; ++i, at += 6) {
        if (kPaletteBlock - at % kPaletteBlock < 6) at += kPaletteBlock - at % kPaletteBlock;
        if (at + 6 > file.size()) invalid_palette();
        palette[i] = RGBQUAD{scaled(formats::le16(file, at + 4), most[2]),
                             scaled(formats::le16(file, at + 2), most[1]),
                             scaled(formats::le16(file, at), most[0]), 0};
    }
    return palette;
}

}  // namespace

void TCUTGraphic::set_sibling(std::vector<uint8_t> bytes, bool found) {
    palette_file_ = std::move(bytes);
    have_palette_file_ = found;
}

bool TCUTGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    if (stream.remaining() < kHeaderBytes) return false;
    ByteView in(stream.rest(), kName);
    ReaderImageInfo& info = image_info();
    info.width = in.le16();
    info.height = in.le16();
    describe_samples(info, cmIndexed, 8, 1, ctRLE);
    return true;
}

void TCUTGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName);
    ByteView in(stream.rest(), kName);
    const int width = in.le16(), height = in.le16();
    in.seek(kHeaderBytes);
    set_up_conversion(color_manager(), have_palette_file_ ? cmIndexed : cmGray, 8, 1);
    std::vector<RGBQUAD> palette;
    if (have_palette_file_) palette = read_halo_palette(palette_file_);
    // Every row takes at least its length and its end byte; a run of 127 takes 2 bytes.
    if (in.remaining() / 3 < static_cast<size_t>(height)) in.short_read();
    prepare_bitmap(width, height, uint64_t{in.remaining()} * 64);
    if (have_palette_file_) set_palette(palette);

    progress_start(gesLoadingData);
    TCUTRLEDecoder decoder;
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        in.skip(decoder.decode(in.rest(), row).consumed);
        const uint8_t* source[1] = {row.data()};
        color_manager().convert_row(source, scanline(y), static_cast<unsigned>(width));
        progress_row(y + 1, height);
    }
    progress_end();
}

const toolkit::GraphicClass& cut_graphic_class() {
    return reader_class<TCUTGraphic>("TCUTGraphic");
}

}  // namespace quorvel::readers
