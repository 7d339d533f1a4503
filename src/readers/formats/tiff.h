// The extended TIFF reader (`TTIFFGraphic`): the first image of a TIFF file, strip by strip,
// through the decoder its compression calls for and the family's colour manager. Files it
// cannot decode itself (LZW, Group 4, old-style JPEG, tiles, BigTIFF, ...) go to the
// container's libtiff reader, so the user still gets the picture. `TEPSGraphic` loads the TIFF
// preview of a DOS EPS file with it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "readers/formats/tiff_ifd.h"
#include "readers/graphic_ex.h"

namespace quorvel::readers {

// What the reader takes from an image file directory.
struct TTIFFProperties {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> rows_per_strip;
    uint16_t samples_per_pixel = 1;
    uint16_t bits_per_sample = 1;
    uint16_t sample_format = 1;  // 1 unsigned integers, 3 floating point
    uint32_t bits_per_pixel = 1;
    bool tiled = false;
    bool has_alpha = false;
    uint32_t compression_value = 1;  // the Compression tag as stored
    uint8_t compression = ctNone;    // its internal code
    uint32_t photometric = 0;
    ColorModel color_scheme = cmGray;
    bool min_is_white = false;
    uint8_t ycbcr_subsampling[2] = {2, 2};
    uint16_t ycbcr_positioning = 1;
    float ycbcr_coefficients[3] = {0.299f, 0.587f, 0.114f};
    uint16_t planar_configuration = 0;
    float x_resolution = 0;
    float y_resolution = 0;
    uint16_t predictor = 0;
    uint32_t t4_options = 0;
    bool reversed_bits = false;
    bool big_endian = false;
    uint16_t version = 0;
};

class TTIFFGraphic : public TGraphicExGraphic {
public:
    bool can_load_stream(toolkit::Stream& stream) override;
    bool read_image_info(toolkit::Stream& stream, int image_index) override;

    const TTIFFProperties& properties() const { return properties_; }
    // Whether the last load went through the container's libtiff reader.
    bool loaded_by_fallback() const { return by_fallback_; }

protected:
    void load_image(toolkit::Stream& stream) override;
    // The whole load, with `format_name` in the messages ("TIF/TIFF", "EPS").
    void load_tiff(toolkit::Stream& stream, const char* format_name);

private:
    // The TIFF side of read_image_info, which TEPSGraphic overrides for its own header.
    bool read_tiff_info(toolkit::Stream& stream, int image_index);
    void fill_properties(const tiff::Directory& directory);
    bool compression_supported() const;
    bool layout_supported() const;
    [[noreturn]] void refuse_layout(const char* format_name) const;
    bool load_fallback(std::span<const uint8_t> file);
    void setup_color_manager();
    void setup_palette(const tiff::Directory& directory, const char* format_name);
    void load_strips(const tiff::Directory& directory, const char* format_name);
    // Every strip the image needs inside the file, and able to decode to its rows.
    bool strips_plausible(const tiff::Directory& directory) const;
    // The strips the image has, all planes; the strip arrays are read no further.
    uint32_t strips_needed() const;
    bool reads_ycbcr_bands() const;
    void convert_rows(std::vector<std::vector<uint8_t>>& buffers, size_t row_bytes, size_t units,
                      uint32_t row, uint32_t end);
    void convert_bands(const std::vector<uint8_t>& buffer, size_t band_bytes, size_t bands,
                       uint32_t row, uint32_t end);

    TTIFFProperties properties_;
    bool by_fallback_ = false;
};

// The ColorMap buffer holds 788 16-bit values: room for the 768 of an 8-bit palette.
inline constexpr size_t kColorMapValues = 788;

}  // namespace quorvel::readers
