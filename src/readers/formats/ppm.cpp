// The portable map reader. The header is parsed by numbers, not lines, so a header that stands
// on the magic line ("P6 37 23 255") reads as well as one spread over several lines with
// comments. Plain bitmaps take one digit a pixel (netpbm writes them without separators);
// a maximum value above 255 means two big-endian bytes a sample in raw maps, of which the high
// byte is kept (plain maps keep the high byte of such values too); values up to 255 are stored
// as they are, unscaled.
#include "readers/formats/ppm.h"

#include <array>
#include <limits>
#include <memory>
#include <vector>

#include "readers/reader_classes.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {

using toolkit::Stream;

namespace {

constexpr const char* kFormatName = "PBM, PGM or PPM";
constexpr const char* kStreamName = "PPM";

[[noreturn]] void stream_error() {
    throw toolkit::EInvalidGraphic(toolkit::format_message(gesStreamReadError, kStreamName));
}

}  // namespace

// The reader's own 4096-byte window on the stream: reading past the end of the file raises the
// stream read error, and only bytes actually read are served.
class PnmBytes {
public:
    explicit PnmBytes(Stream& stream) : stream_(stream) {}

    uint8_t next() {
        uint8_t byte;
        if (!try_next(byte)) stream_error();
        return byte;
    }
    bool try_next(uint8_t& byte) {
        if (at_ == filled_ && !refill()) return false;
        byte = buffer_[at_++];
        return true;
    }
    // Copies `count` bytes or raises the stream read error.
    void read(uint8_t* out, size_t count) {
        for (size_t done = 0; done < count;) {
            if (at_ == filled_ && !refill()) stream_error();
            const size_t n = std::min(count - done, filled_ - at_);
            std::copy_n(buffer_.data() + at_, n, out + done);
            at_ += n;
            done += n;
        }
    }
    uint64_t remaining() const { return (filled_ - at_) + stream_.remaining(); }

private:
    bool refill() {
        filled_ = stream_.read_some(buffer_.data(), buffer_.size());
        at_ = 0;
        return filled_ != 0;
    }

    Stream& stream_;
    std::array<uint8_t, 4096> buffer_{};
    size_t at_ = 0;
    size_t filled_ = 0;
};

namespace {

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

void skip_line(PnmBytes& in) {
    uint8_t c;
    while (in.try_next(c) && c != '\n' && c != '\r') {
    }
}

// The next digit, skipping anything else and "#" comments up to the end of their line.
uint8_t next_digit(PnmBytes& in) {
    for (;;) {
        const uint8_t c = in.next();
        if (is_digit(c)) return c - '0';
        if (c == '#') skip_line(in);
    }
}

// A decimal number; the byte after it is consumed (the end of the file also ends it). Values
// saturate rather than overflow.
uint32_t next_number(PnmBytes& in) {
    uint64_t value = next_digit(in);
    uint8_t c;
    while (in.try_next(c) && is_digit(c))
        value = std::min<uint64_t>(value * 10 + (c - '0'), UINT32_MAX);
    return static_cast<uint32_t>(value);
}

}  // namespace

struct PnmHeader {
    int kind = 0;  // the digit after "P"
    int32_t width = 0;
    int32_t height = 0;
    uint32_t max_value = 0;
    bool has_max_value() const { return kind == 2 || kind == 3 || kind == 5 || kind == 6; }
    bool bitmap() const { return kind == 1 || kind == 4; }
    bool colour() const { return kind == 3 || kind == 6; }
    bool raw() const { return kind >= 4; }
    unsigned sample_bytes() const { return max_value > 255 ? 2 : 1; }
};

namespace {

int32_t dimension(PnmBytes& in) {
    return static_cast<int32_t>(
        std::min<uint32_t>(next_number(in), std::numeric_limits<int32_t>::max()));
}

// False when the file does not start with "P"; throws EConvertError for a "P" without a digit.
bool read_header(PnmBytes& in, PnmHeader& header) {
    if (in.next() != 'P') return false;
    const uint8_t digit = in.next();
    if (!is_digit(digit))
        throw toolkit::EConvertError("'" + std::string(1, static_cast<char>(digit)) +
                                     "' is not a valid integer value");
    header.kind = digit - '0';
    if (header.kind < 1 || header.kind > 6) return true;
    header.width = dimension(in);
    header.height = dimension(in);
    if (header.has_max_value()) header.max_value = next_number(in);
    return true;
}

// Bytes the smallest file with one row of the image takes: a digit a pixel for plain bitmaps,
// a digit and a separator a sample for plain maps, the packed row for raw ones.
uint64_t min_row_bytes(const PnmHeader& h) {
    const uint64_t w = static_cast<uint64_t>(h.width);
    switch (h.kind) {
        case 1:
            return w;
        case 2:
            return 2 * w;
        case 3:
            return 6 * w;
        case 4:
            return (w + 7) / 8;
        case 5:
            return w * h.sample_bytes();
        default:
            return 3 * w * h.sample_bytes();
    }
}

}  // namespace

bool TPPMGraphic::read_image_info(Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    ReaderImageInfo& info = image_info();
    PnmBytes in(stream);
    PnmHeader h;
    info.compression = ctNone;
    if (!read_header(in, h)) return false;
    if (h.kind < 1 || h.kind > 6) return true;
    info.width = h.width;
    info.height = h.height;
    info.color_model = h.colour() ? cmRGB : cmIndexed;
    info.sample_bits = h.bitmap() ? 1 : 8 * h.sample_bytes();
    info.samples = h.colour() ? 3 : 1;
    info.pixel_bits = info.sample_bits * info.samples;
    return true;
}

namespace {

// Source and target of the colour manager: plain maps are read into one byte a sample first.
void configure_colours(TColorManager& cm, const PnmHeader& h) {
    const bool wide_raw = h.raw() && h.sample_bytes() == 2;
    cm.set_source_color_scheme(h.colour() ? cmRGB : cmIndexed);
    cm.set_source_samples_per_pixel(h.colour() ? 3 : 1);
    cm.set_source_bits_per_sample(h.kind == 4 ? 1 : wide_raw ? 16 : 8);
    cm.set_source_options(wide_raw ? coNeedByteSwap : 0);
    cm.set_target_color_scheme(h.colour() ? cmBGR : cmIndexed);
    cm.set_target_samples_per_pixel(h.colour() ? 3 : 1);
    cm.set_target_bits_per_sample(h.bitmap() ? 1 : 8);
}

// A plain map's sample: unscaled up to 255, the high byte of wider values.
uint8_t plain_sample(PnmBytes& in, const PnmHeader& h) {
    const uint32_t value = next_number(in);
    return static_cast<uint8_t>(h.max_value > 255 ? value >> 8 : value);
}

// One row of the file in the layout configure_colours gave the colour manager.
void read_row(PnmBytes& in, const PnmHeader& h, std::vector<uint8_t>& row) {
    const size_t w = static_cast<size_t>(h.width);
    switch (h.kind) {
        case 1:
            for (size_t x = 0; x < w; ++x) row[x] = next_digit(in) & 1;
            break;
        case 2:
        case 3:
            for (size_t i = 0; i < w * (h.colour() ? 3 : 1); ++i) row[i] = plain_sample(in, h);
            break;
        default:
            in.read(row.data(), min_row_bytes(h));
    }
}

}  // namespace

void TPPMGraphic::load_image(Stream& stream) {
    stream.seek(begin_load(stream, kFormatName));
    progress_start(gesTransfering);
    PnmBytes in(stream);
    PnmHeader h;
    read_header(in, h);
    if (h.kind >= 1 && h.kind <= 6) load_rows(in, h);
    progress_end();
}

void TPPMGraphic::load_rows(PnmBytes& in, const PnmHeader& h) {
    TColorManager& cm = color_manager();
    configure_colours(cm, h);
    const uint64_t row_bytes = min_row_bytes(h);
    // Plain maps may leave out the separator after their last sample.
    const uint64_t rows_in_file =
        row_bytes == 0 ? 0 : (in.remaining() + (h.raw() ? 0 : 1)) / row_bytes;
    // A map without rows or columns is an empty bitmap, as its rows loop leaves it.
    if (h.width == 0 || h.height == 0) return;
    if (h.width > 0 && h.height > 0 && rows_in_file == 0) stream_error();
    prepare_bitmap(h.width, h.height, std::max<uint64_t>(rows_in_file * h.width, 1));
    if (!h.colour()) set_palette(cm.make_gray_palette(h.bitmap()));  // 1 bit: entry 0 white
    std::vector<uint8_t> row(h.raw() ? row_bytes
                                     : static_cast<size_t>(h.width) * (h.colour() ? 3 : 1));
    const uint8_t* source[1] = {row.data()};
    for (int y = 0; y < h.height; ++y) {
        read_row(in, h, row);
        cm.convert_row(source, scanline(y), static_cast<unsigned>(h.width));
        progress_row(y + 1, h.height);
    }
}

const toolkit::GraphicClass& ppm_graphic_class() {
    return reader_class<TPPMGraphic>("TPPMGraphic");
}

}  // namespace quorvel::readers
