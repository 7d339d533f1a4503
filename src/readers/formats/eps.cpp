#include "readers/formats/eps.h"

#include <memory>

#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

constexpr const char* kFormatName = "EPS";
constexpr uint8_t kMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};

uint32_t le32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

}  // namespace

std::optional<EPSHeader> read_eps_header(std::span<const uint8_t> file) {
    if (file.size() < kEPSHeaderBytes || !std::equal(kMagic, kMagic + 4, file.begin())) return std::nullopt;
    const uint8_t* p = file.data() + 4;
    EPSHeader h;
    h.postscript_offset = le32(p), h.postscript_length = le32(p + 4);
    h.wmf_offset = le32(p + 8), h.wmf_length = le32(p + 12);
    h.tiff_offset = le32(p + 16), h.tiff_length = le32(p + 20);
    h.checksum = static_cast<uint16_t>(p[24] | p[25] << 8);
    return h;
}

std::span<const uint8_t> TEPSGraphic::preview(std::span<const uint8_t> file) {
    const std::optional<EPSHeader> header = read_eps_header(file);
    if (!header || header->tiff_length == 0 || header->tiff_offset > file.size()) return {};
    if (header->tiff_length > file.size() - header->tiff_offset) return {};
    return file.subspan(header->tiff_offset, header->tiff_length);
}

bool TEPSGraphic::can_load_stream(toolkit::Stream& stream) {
    toolkit::Stream tiff(preview(stream.rest()));
    return TTIFFGraphic::can_load_stream(tiff);
}

bool TEPSGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    toolkit::Stream tiff(preview(stream.rest()));
    return TTIFFGraphic::read_image_info(tiff, image_index);
}

void TEPSGraphic::LoadFromStream(toolkit::Stream& stream) {
    release_image();
    const std::span<const uint8_t> bytes = preview(stream.rest());
    if (bytes.empty()) fail(gesInvalidImage, kFormatName);
    toolkit::Stream tiff(bytes);
    load_tiff(tiff, kFormatName);
}

const toolkit::GraphicClass& eps_graphic_class() {
    static const toolkit::GraphicClass c{"TEPSGraphic", []() -> std::unique_ptr<toolkit::Graphic> {
                                             return std::make_unique<TEPSGraphic>();
                                         }};
    return c;
}

}  // namespace quorvel::readers
