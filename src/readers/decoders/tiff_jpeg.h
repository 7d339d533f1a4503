// JPEG-in-TIFF (compression 7): every strip a JPEG stream decoded with libjpeg, after the
// JPEGTables field (347) has been loaded as an abbreviated table stream. Three-component
// strips come out as blue, green, red; one- and four-component strips as stored.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "readers/decoders/decoder.h"

namespace quorvel::readers {

inline constexpr const char* gesJPEGEOI = "JPEG decompression error. Unexpected end of input.";
inline constexpr const char* gesJPEGStripSize = "Improper JPEG strip/tile size.";
inline constexpr const char* gesJPEGComponents = "Improper JPEG component count.";
inline constexpr const char* gesJPEGDataPrecision = "Improper JPEG data precision.";
inline constexpr const char* gesJPEGSamplingFactors = "Improper JPEG sampling factors.";
inline constexpr const char* gesJPEGBogusTableField = "Bogus JPEG tables field.";
inline constexpr const char* gesJPEGFractionalLine = "Fractional JPEG scanline unsupported.";

// What the strips must match.
struct TIFFJPEGLayout {
    uint32_t width = 0;
    uint16_t components = 1;  // samples a pixel of one strip (1 for a plane of a planar file)
    uint16_t bits = 8;
    uint32_t photometric = 1;
    uint8_t h_sampling = 1;  // of the first component; the others are 1
    uint8_t v_sampling = 1;
    bool has_tables = false;
    std::span<const uint8_t> tables;  // the JPEGTables bytes (must outlive the decoder)
};

// Failures raise EGraphicCompression with the messages above (or libjpeg's own text).
// libjpeg's warnings, and a strip that ends early, are shown in message boxes captioned
// "Warning"; such a strip is ended as if it were complete.
class TTIFFJPEGDecoder : public TDecoder {
public:
    explicit TTIFFJPEGDecoder(const TIFFJPEGLayout& layout);
    ~TTIFFJPEGDecoder() override;

    void decode_init() override;
    DecodeResult decode(std::span<const uint8_t> source, std::span<uint8_t> target) override;
    void decode_end() override;

    struct State;

private:
    TIFFJPEGLayout layout_;
    std::unique_ptr<State> state_;
};

}  // namespace quorvel::readers
