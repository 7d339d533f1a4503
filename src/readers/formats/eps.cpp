// The EPS reader (`TEPSGraphic`): a DOS EPS file's 30-byte binary header and the TIFF preview
// it points at, loaded by the TIFF reader.
#include <cstdint>
#include <optional>
#include <span>

#include "formats/byte_cursor.h"
#include "readers/formats/tiff.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

constexpr const char* kFormatName = "EPS";
constexpr uint8_t kMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
constexpr size_t kEPSHeaderBytes = 30;

// The DOS EPS binary header: magic C5 D0 D3 C6, then little-endian offsets and lengths of the
// PostScript, Windows metafile and TIFF sections, and a checksum.
struct EPSHeader {
    uint32_t postscript_offset = 0, postscript_length = 0;
    uint32_t wmf_offset = 0, wmf_length = 0;
    uint32_t tiff_offset = 0, tiff_length = 0;
    uint16_t checksum = 0;
};

class TEPSGraphic : public TTIFFGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;

private:
    void load_image(toolkit::Stream& stream) override;
};

// The header at the start of `file`, or nothing when the magic or the 30 bytes are missing.
std::optional<EPSHeader> read_eps_header(std::span<const uint8_t> file) {
    if (file.size() < kEPSHeaderBytes || !std::equal(kMagic, kMagic + 4, file.begin()))
        return std::nullopt;
    using formats::le32;
    const uint8_t* p = file.data() + 4;
    EPSHeader h;
    h.postscript_offset = le32(p), h.postscript_length = le32(p + 4);
    h.wmf_offset = le32(p + 8), h.wmf_length = le32(p + 12);
    h.tiff_offset = le32(p + 16), h.tiff_length = le32(p + 20);
    h.checksum = formats::le16(p + 24);
    return h;
}

// The TIFF preview's bytes inside `file`, empty when there is none or it lies outside.
std::span<const uint8_t> preview(std::span<const uint8_t> file) {
    const std::optional<EPSHeader> header = read_eps_header(file);
    if (!header || header->tiff_length == 0 || header->tiff_offset > file.size()) return {};
    if (header->tiff_length > file.size() - header->tiff_offset) return {};
    return file.subspan(header->tiff_offset, header->tiff_length);
}

}  // namespace

bool TEPSGraphic::can_load_stream(toolkit::Stream& stream) {
    toolkit::Stream tiff(preview(stream.rest()));
    return TTIFFGraphic::can_load_stream(tiff);
}

bool TEPSGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    toolkit::Stream tiff(preview(stream.rest()));
    return TTIFFGraphic::read_image_info(tiff, image_index);
}

void TEPSGraphic::load_image(toolkit::Stream& stream) {
    release_image();
    const std::span<const uint8_t> bytes = preview(stream.rest());
    if (bytes.empty()) fail(gesInvalidImage, kFormatName);
    toolkit::Stream tiff(bytes);
    load_tiff(tiff, kFormatName);
}

const toolkit::GraphicClass& eps_graphic_class() {
    return reader_class<TEPSGraphic>("TEPSGraphic");
}

}  // namespace quorvel::readers
