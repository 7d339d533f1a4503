// TTIFFGraphic's load after the header: colour manager and palette set-up, the decoder of the
// compression, and the strips loop (one plane per strip set for planar files), with the
// horizontal predictor undone before each row goes to the colour manager.
#include <algorithm>
#include <cstring>
#include <memory>

#include "formats/palette.h"
#include "formats/tiff_sizes.h"
#include "readers/decoders/ccitt.h"
#include "readers/decoders/lz77.h"
#include "readers/decoders/thunder.h"
#include "readers/decoders/tiff_jpeg.h"
#include "readers/formats/tiff.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {
namespace {

using namespace tiff;

bool is_jpeg(uint8_t compression) { return compression == ctJPEG || compression == ctOJPEG; }

ColorModel target_scheme(ColorModel source) {
    switch (source) {
        case cmRGB:
        case cmCMY:
        case cmCMYK:
        case cmCIELab:
        case cmYCbCr:
            return cmBGR;
        case cmRGBA:
            return cmBGRA;
        default:
            return source;
    }
}

// Horizontal differencing undone on one row of `count` samples, `stride` samples a pixel:
// 16-bit samples as words in the file's byte order, everything else as bytes.
void undo_predictor(uint8_t* row, size_t row_bytes, unsigned bits, unsigned stride,
                    bool big_endian) {
    if (bits == 16) {
        const size_t words = row_bytes / 2;
        for (size_t i = stride; i < words; ++i) {
            uint8_t* p = row + 2 * i;
            const uint8_t* q = p - 2 * stride;
            const unsigned hi = big_endian ? 0 : 1, lo = 1 - hi;
            const unsigned sum = ((p[hi] << 8 | p[lo]) + (q[hi] << 8 | q[lo])) & 0xFFFF;
            p[hi] = static_cast<uint8_t>(sum >> 8);
            p[lo] = static_cast<uint8_t>(sum);
        }
        return;
    }
    for (size_t i = stride; i < row_bytes; ++i)
        row[i] = static_cast<uint8_t>(row[i] + row[i - stride]);
}

}  // namespace

void TTIFFGraphic::setup_color_manager() {
    const TTIFFProperties& p = properties_;
    TColorManager& cm = color_manager();
    ColorModel source = p.color_scheme;
    // libjpeg hands interleaved colour strips over as blue, green, red; the planes of a
    // planar file are one-component streams and keep their own order.
    if (is_jpeg(p.compression) && p.samples_per_pixel == 3 && p.planar_configuration != 2)
        source = cmBGR;
    ColorModel target = target_scheme(source);
    uint8_t target_samples = static_cast<uint8_t>(p.samples_per_pixel);
    if ((source == cmIndexed || source == cmGray) && p.has_alpha) {
        source = cmGrayAlpha;
        target_samples = 1;
    }
    if (source == cmCMYK) target_samples = 3;
    cm.set_source_options((p.big_endian ? coNeedByteSwap : 0u) |
                          (source == cmCIELab ? coLabByteRange : 0u));
    cm.set_source_bits_per_sample(static_cast<uint8_t>(p.bits_per_sample));
    cm.set_target_bits_per_sample(
        p.bits_per_sample == 16 ? 8 : static_cast<uint8_t>(p.bits_per_sample));
    cm.set_source_color_scheme(source);
    cm.set_target_color_scheme(target);
    cm.set_source_samples_per_pixel(static_cast<uint8_t>(p.samples_per_pixel));
    cm.set_target_samples_per_pixel(target_samples);
    if (p.color_scheme == cmYCbCr)
        cm.set_ycbcr_parameters(p.ycbcr_coefficients, p.ycbcr_subsampling[0],
                                p.ycbcr_subsampling[1]);
}

void TTIFFGraphic::setup_palette(const Directory& directory, const char* format_name) {
    const TTIFFProperties& p = properties_;
    TColorManager& cm = color_manager();
    // Strips missing or far too short for their rows: the file holds no such picture. Short
    // strips within that rule load as far as they go.
    if (!strips_plausible(directory)) refuse_size(image_info().width, image_info().height);
    prepare_bitmap(image_info().width, image_info().height, 0);
    if (p.width > INT32_MAX || p.height > INT32_MAX) fail(gesInvalidImage, format_name);
    const ColorModel target = cm.target_color_scheme();
    if (target == cmGray || target == cmGrayAlpha)
        set_palette(cm.make_gray_palette(p.min_is_white));
    if (target != cmIndexed) return;
    const Entry* map = directory.find(tagColorMap);
    if (map == nullptr) return;
    const std::span<const uint8_t> bytes_of_map = directory.value_bytes(*map);
    if (map->type != ftShort || map->count > kColorMapValues || bytes_of_map.empty())
        fail(gesInvalidPalette, format_name);
    const unsigned entries = map->count / 3;
    const std::vector<uint32_t> values = directory.values(tagColorMap);
    if (formats::colour_map_is_8bit(values)) {
        const std::vector<uint8_t> narrow(values.begin(), values.end());
        const uint8_t* planes[3] = {narrow.data(), narrow.data() + entries,
                                    narrow.data() + 2 * entries};
        set_palette(cm.create_color_palette(planes, PaletteLayout::Planar, entries, 8));
        return;
    }
    uint8_t buffer[kColorMapValues * 2] = {};
    std::memcpy(buffer, bytes_of_map.data(), bytes_of_map.size());
    const uint8_t* planes[3] = {buffer, buffer + 2 * entries, buffer + 4 * entries};
    set_palette(cm.create_color_palette(planes, PaletteLayout::Planar, entries, 16));
}

namespace {

std::unique_ptr<TDecoder> make_decoder(const TTIFFProperties& p, const Directory& directory,
                                       unsigned planes) {
    switch (p.compression) {
        case ctPackedBits:
            return std::make_unique<TPackbitsRLEDecoder>();
        case ctFax3:
            return std::make_unique<TCCITTFax3Decoder>(p.width, p.reversed_bits,
                                                       (p.t4_options & 1) != 0);
        case ctFaxRLE:
            return std::make_unique<TCCITTMHDecoder>(p.width, p.reversed_bits, false);
        case ctFaxRLEW:
            return std::make_unique<TCCITTMHDecoder>(p.width, p.reversed_bits, true);
        case ctLZ77:
            return std::make_unique<TLZ77Decoder>();
        case ctThunderscan:
            return std::make_unique<TThunderDecoder>(p.width);
        case ctJPEG: {
            TIFFJPEGLayout layout;
            layout.width = p.width;
            layout.components = planes > 1 ? 1 : p.samples_per_pixel;
            layout.bits = p.bits_per_sample;
            layout.photometric = p.photometric;
            // RGB and gray strips are not subsampled; only YCbCr names its factors.
            if (p.photometric == 6 && planes == 1)
                layout.h_sampling = p.ycbcr_subsampling[0],
                layout.v_sampling = p.ycbcr_subsampling[1];
            if (const Entry* tables = directory.find(tagJPEGTables))
                layout.tables = directory.value_bytes(*tables);
            layout.has_tables = directory.find(tagJPEGTables) != nullptr;
            return std::make_unique<TTIFFJPEGDecoder>(layout);
        }
        default:
            return nullptr;
    }
}

// The strips of one image (one set per plane for planar files) and the unit they hold rows
// in: a row of every plane, or a band of V rows for subsampled YCbCr.
// The bytes of strip `index` from its offset on, at most `available`. A strip without a byte
// count, or with a zero one (a writer that did not know it), holds what libtiff estimates:
// `estimate`, the file but for its header and directory (a plane's share of it).
uint64_t strip_extent(std::span<const uint32_t> counts, size_t index, uint64_t estimate,
                      uint64_t available) {
    const bool counted = index < counts.size() && counts[index] != 0;
    return std::min<uint64_t>(counted ? counts[index] : estimate, available);
}

uint64_t estimated_strip_bytes(const Directory& directory, unsigned planes) {
    const uint64_t file = directory.file().size(), metadata = directory.metadata_bytes();
    return (file < metadata ? file : file - metadata) / planes;
}

struct StripSet {
    std::vector<uint32_t> offsets, counts;
    uint64_t estimated_bytes = 0;  // of a strip without a byte count
    unsigned planes = 1;
    size_t per_plane = 0;
    size_t unit_bytes = 0;      // a row, or a band
    uint32_t unit_rows = 1;     // image rows a unit covers
    bool reverse_bits = false;  // FillOrder 2 for a scheme whose decoder reads bytes as stored
};

// FillOrder 2 outside the CCITT decoders (which reverse as they read) and JPEG (whose
// streams are bytes): the strip's bytes are bit-reversed first, as libtiff does.
bool reversed_before_decoding(const TTIFFProperties& p) {
    const bool own =
        p.compression == ctFax3 || p.compression == ctFaxRLE || p.compression == ctFaxRLEW;
    return p.reversed_bits && !own && !is_jpeg(p.compression);
}

// One strip of one plane into `buffer` (cleared first); returns the bytes produced. Offsets
// and counts are cut to the file; a strip outside it produces nothing.
size_t read_strip(std::span<const uint8_t> file, const StripSet& strips, size_t index,
                  TDecoder* decoder, std::vector<uint8_t>& buffer) {
    const uint32_t offset = strips.offsets[index];
    const size_t available = offset < file.size() ? file.size() - offset : 0;
    if (available == 0) return 0;
    if (!decoder) {
        const size_t n = std::min(buffer.size(), available);
        std::memcpy(buffer.data(), file.data() + offset, n);
        if (strips.reverse_bits)
            std::transform(buffer.begin(), buffer.begin() + long(n), buffer.begin(), reversed_byte);
        return n;
    }
    const size_t count = strip_extent(strips.counts, index, strips.estimated_bytes, available);
    std::span<const uint8_t> data = file.subspan(offset, count);
    std::vector<uint8_t> reversed;
    if (strips.reverse_bits) {
        reversed.resize(data.size());
        std::transform(data.begin(), data.end(), reversed.begin(), reversed_byte);
        data = reversed;
    }
    return decoder->decode(data, buffer).produced;
}

}  // namespace

bool TTIFFGraphic::reads_ycbcr_bands() const {
    const TTIFFProperties& p = properties_;
    const bool subsampled = p.ycbcr_subsampling[0] != 1 || p.ycbcr_subsampling[1] != 1;
    return p.color_scheme == cmYCbCr && !is_jpeg(p.compression) && subsampled;
}

uint32_t TTIFFGraphic::strips_needed() const {
    const TTIFFProperties& p = properties_;
    const uint32_t rows =
        p.rows_per_strip[0] == 0 || p.rows_per_strip[0] > p.height ? p.height : p.rows_per_strip[0];
    const uint64_t per_plane = rows == 0 ? 0 : (uint64_t{p.height} + rows - 1) / rows;
    const uint64_t planes = p.planar_configuration == 2 ? p.samples_per_pixel : 1;
    return static_cast<uint32_t>(std::min<uint64_t>(per_plane * planes, UINT32_MAX));
}

bool TTIFFGraphic::strips_plausible(const Directory& directory) const {
    const TTIFFProperties& p = properties_;
    const std::span<const uint8_t> file = directory.file();
    formats::TiffBlocks b;
    b.file_size = file.size();
    b.width = p.width;
    b.height = p.height;
    b.block_width = p.width;
    b.block_height =
        p.rows_per_strip[0] == 0 || p.rows_per_strip[0] > p.height ? p.height : p.rows_per_strip[0];
    b.planes = p.planar_configuration == 2 ? p.samples_per_pixel : 1;
    b.bits_per_pixel = b.planes > 1 ? p.bits_per_sample : p.bits_per_pixel;
    if (reads_ycbcr_bands()) {
        const double block = double(p.ycbcr_subsampling[0]) * p.ycbcr_subsampling[1];
        b.bits_per_pixel = 8.0 * (block + 2) / block;  // H x V lumas and two chromas a block
    }
    b.compression = p.compression_value;
    for (const uint32_t offset : directory.values(tagStripOffsets, strips_needed()))
        b.offsets.push_back(offset);
    if (b.offsets.empty()) return false;  // no StripOffsets, or none inside the file
    const std::vector<uint32_t> counts = directory.values(tagStripByteCounts, strips_needed());
    // As read_strip reads them: uncompressed strips run to the end of the file.
    const uint64_t estimate =
        p.compression == ctNone ? UINT64_MAX : estimated_strip_bytes(directory, b.planes);
    for (size_t i = 0; i < b.offsets.size(); ++i) {
        const uint64_t to_end = b.offsets[i] < file.size() ? file.size() - b.offsets[i] : 0;
        b.counts.push_back(p.compression == ctNone ? to_end
                                                   : strip_extent(counts, i, estimate, to_end));
    }
    // Asked only for a block that starts inside the file; it may run past the end.
    b.head = [&b, file](size_t index) {
        const uint64_t available = file.size() - b.offsets[index];
        const std::span<const uint8_t> block =
            file.subspan(b.offsets[index], std::min<uint64_t>({b.counts[index], available, 4096}));
        return std::vector<uint8_t>(block.begin(), block.end());
    };
    return formats::tiff_blocks_plausible(b);
}

void TTIFFGraphic::load_strips(const Directory& directory, const char* format_name) {
    const TTIFFProperties& p = properties_;
    StripSet strips;
    strips.offsets = directory.values(tagStripOffsets, strips_needed());
    strips.counts = directory.values(tagStripByteCounts, strips_needed());
    strips.planes = p.planar_configuration == 2 ? p.samples_per_pixel : 1;
    strips.estimated_bytes = estimated_strip_bytes(directory, strips.planes);
    strips.per_plane = strips.offsets.size() / strips.planes;
    strips.reverse_bits = reversed_before_decoding(p);
    const uint32_t plane_bits = strips.planes > 1 ? p.bits_per_sample : p.bits_per_pixel;
    strips.unit_bytes = (uint64_t{plane_bits} * p.width + 7) / 8;
    if (reads_ycbcr_bands()) {
        strips.unit_bytes = color_manager().ycbcr_band_bytes(p.width);
        strips.unit_rows = p.ycbcr_subsampling[1];
    }

    std::unique_ptr<TDecoder> decoder;
    if (p.compression != ctNone) decoder = make_decoder(p, directory, strips.planes);
    if (p.compression != ctNone && !decoder)
        fail(gesNotSupported, gesCompressionScheme, format_name);
    struct EndDecoder {
        TDecoder* d;
        ~EndDecoder() {
            if (d) try {
                    d->decode_end();
                } catch (...) {
                }
        }
    } end_guard{decoder.get()};
    if (decoder) decoder->decode_init();

    progress_start(gesLoadingData);
    uint32_t row = 0;
    std::vector<std::vector<uint8_t>> buffers(strips.planes);
    for (size_t s = 0; s < strips.per_plane && row < p.height; ++s) {
        const uint32_t declared = p.rows_per_strip[std::min(s, p.rows_per_strip.size() - 1)];
        const uint32_t rows = std::min(declared == 0 ? p.height : declared, p.height - row);
        const size_t units = (size_t{rows} + strips.unit_rows - 1) / strips.unit_rows;
        if (uint64_t{units} * strips.unit_bytes > limits().max_load_bytes)
            fail(gesInvalidImage, format_name);
        size_t covered = SIZE_MAX;
        for (unsigned plane = 0; plane < strips.planes; ++plane) {
            buffers[plane].assign(units * strips.unit_bytes, 0);
            const size_t produced =
                read_strip(directory.file(), strips, plane * strips.per_plane + s, decoder.get(),
                           buffers[plane]);
            covered = std::min(covered, (produced + strips.unit_bytes - 1) / strips.unit_bytes);
        }
        const uint32_t end = row + rows;
        if (reads_ycbcr_bands()) convert_bands(buffers[0], strips.unit_bytes, covered, row, end);
        else convert_rows(buffers, strips.unit_bytes, covered, row, end);
        row = end;  // rows a short strip did not cover keep their content
    }
    progress_end();
}

// Rows `row` .. of a strip, as many as the data covers (`units`), up to `end`.
void TTIFFGraphic::convert_rows(std::vector<std::vector<uint8_t>>& buffers, size_t row_bytes,
                                size_t units, uint32_t row, uint32_t end) {
    const TTIFFProperties& p = properties_;
    const bool predict = p.compression != ctNone && p.predictor == 2;
    const unsigned stride = buffers.size() > 1 ? 1 : p.samples_per_pixel;
    for (size_t r = 0; r < units && row < end; ++r, ++row) {
        const uint8_t* sources[4];
        for (size_t plane = 0; plane < buffers.size() && plane < 4; ++plane) {
            uint8_t* line = buffers[plane].data() + r * row_bytes;
            if (predict) undo_predictor(line, row_bytes, p.bits_per_sample, stride, p.big_endian);
            sources[plane] = line;
        }
        const std::span<const uint8_t* const> planes(sources, std::min<size_t>(buffers.size(), 4));
        color_manager().convert_row(planes, scanline(int(row)), p.width);
        progress_row(int(row) + 1, int(p.height));
    }
}

// Subsampled YCbCr: each band fills up to V rows at once.
void TTIFFGraphic::convert_bands(const std::vector<uint8_t>& buffer, size_t band_bytes,
                                 size_t bands, uint32_t row, uint32_t end) {
    const uint32_t v = properties_.ycbcr_subsampling[1];
    for (size_t b = 0; b < bands && row < end; ++b) {
        std::vector<uint8_t*> targets;
        for (uint32_t r = row; r < std::min(row + v, end); ++r) targets.push_back(scanline(int(r)));
        const uint32_t rows = static_cast<uint32_t>(targets.size());
        color_manager().convert_ycbcr_band(
            std::span<const uint8_t>(buffer).subspan(b * band_bytes, band_bytes), properties_.width,
            targets);
        row += rows;
        progress_row(int(row), int(properties_.height));
    }
}

}  // namespace quorvel::readers
