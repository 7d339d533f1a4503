// The EPS reader (`TEPSGraphic`): a DOS EPS file's 30-byte binary header and the TIFF preview
// it points at, loaded by the TIFF reader.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "readers/formats/tiff.h"

namespace quorvel::readers {

// The DOS EPS binary header: magic C5 D0 D3 C6, then little-endian offsets and lengths of the
// PostScript, Windows metafile and TIFF sections, and a checksum.
struct EPSHeader {
    uint32_t postscript_offset = 0, postscript_length = 0;
    uint32_t wmf_offset = 0, wmf_length = 0;
    uint32_t tiff_offset = 0, tiff_length = 0;
    uint16_t checksum = 0;
};

inline constexpr size_t kEPSHeaderBytes = 30;

// The header at the start of `file`, or nothing when the magic or the 30 bytes are missing.
std::optional<EPSHeader> read_eps_header(std::span<const uint8_t> file);

class TEPSGraphic : public TTIFFGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;
    void LoadFromStream(toolkit::Stream& stream) override;

private:
    // The TIFF preview's bytes inside `file`, empty when there is none or it lies outside.
    static std::span<const uint8_t> preview(std::span<const uint8_t> file);
};

}  // namespace quorvel::readers
