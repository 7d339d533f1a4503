#include "readers/decoders/tiff_jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "formats/jpeg_glue.h"
#include "platform/presenter.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers {

// libjpeg's state with its error and source managers. libjpeg's failures jump back to the call
// that started the step (no C++ object is live between the two), and the step then raises the
// exception.
struct TTIFFJPEGDecoder::State {
    jpeg_decompress_struct cinfo{};
    formats::JpegErrors errors{};
    jpeg_source_mgr source{};
    const char* failure = nullptr;  // one of our messages, or null for libjpeg's own text
    bool reading_tables = false;
    bool created = false;
};

namespace {

using State = TTIFFJPEGDecoder::State;

const JOCTET kFakeEOI[2] = {0xFF, JPEG_EOI};

State* state_of(j_common_ptr cinfo) { return static_cast<State*>(cinfo->client_data); }

void show_warning(const char* text) noexcept {
    try {
        platform::presenter().message_box(nullptr, text, "Warning", MB_OK | MB_ICONWARNING);
    } catch (...) {
    }
}

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

// The whole strip was handed over at the start: asking for more means it ended early. The
// strip is closed with an end-of-image marker so that it ends as if complete.
boolean fill_input_buffer(j_decompress_ptr cinfo) {
    State* s = state_of(reinterpret_cast<j_common_ptr>(cinfo));
    if (s->reading_tables) {
        s->failure = gesJPEGBogusTableField;
        std::longjmp(s->errors.recovery, 1);
    }
    show_warning(gesJPEGEOI);
    cinfo->src->next_input_byte = kFakeEOI;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void skip_input_data(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (static_cast<size_t>(count) <= src->bytes_in_buffer) {
            src->next_input_byte += count;
            src->bytes_in_buffer -= static_cast<size_t>(count);
            return;
        }
        count -= static_cast<long>(src->bytes_in_buffer);
        src->bytes_in_buffer = 0;
        fill_input_buffer(cinfo);
    }
}

void set_input(State* s, std::span<const uint8_t> bytes) {
    s->source.next_input_byte = bytes.data();
    s->source.bytes_in_buffer = bytes.size();
}

[[noreturn]] void raise_failure(const State& s) {
    throw toolkit::EGraphicCompression(s.failure != nullptr ? s.failure : s.errors.message);
}

// Steps that may end in error_exit; each answers false with the reason in the state.
bool create(State* s) {
    // libjpeg's warnings go to the user, the first of each image (as libjpeg's own handler
    // does), so that a damaged file of many strips does not bring a box per strip.
    s->cinfo.err = formats::install_jpeg_errors(s->errors, false, show_warning);
    if (setjmp(s->errors.recovery)) return false;
    jpeg_create_decompress(&s->cinfo);
    s->cinfo.client_data = s;
    s->created = true;
    s->source = jpeg_source_mgr{
        nullptr,    0, init_source, fill_input_buffer, skip_input_data, jpeg_resync_to_restart,
        term_source};
    s->cinfo.src = &s->source;
    return true;
}

bool read_tables(State* s, std::span<const uint8_t> tables) {
    s->reading_tables = true;
    if (setjmp(s->errors.recovery)) {
        s->reading_tables = false;
        s->failure = gesJPEGBogusTableField;
        return false;
    }
    set_input(s, tables);
    const int kind = jpeg_read_header(&s->cinfo, FALSE);
    s->reading_tables = false;
    if (kind != JPEG_HEADER_TABLES_ONLY) {
        s->failure = gesJPEGBogusTableField;
        return false;
    }
    return true;
}

// The strip's header against what the image says it holds.
const char* check_header(const jpeg_decompress_struct& c, const TIFFJPEGLayout& l, size_t rows) {
    if (c.image_width != l.width || c.image_height > rows) return gesJPEGStripSize;
    if (c.num_components != l.components) return gesJPEGComponents;
    if (c.data_precision != l.bits) return gesJPEGDataPrecision;
    for (int i = 0; i < c.num_components; ++i) {
        const int h = i == 0 ? l.h_sampling : 1, v = i == 0 ? l.v_sampling : 1;
        if (c.comp_info[i].h_samp_factor != h || c.comp_info[i].v_samp_factor != v)
            return gesJPEGSamplingFactors;
    }
    return nullptr;
}

void choose_colour_spaces(jpeg_decompress_struct& c, uint32_t photometric) {
    switch (c.num_components) {
        case 1:
            c.jpeg_color_space = JCS_GRAYSCALE, c.out_color_space = JCS_GRAYSCALE;
            break;
        case 3:
            c.jpeg_color_space = photometric == 6 ? JCS_YCbCr : JCS_RGB;
            c.out_color_space = JCS_EXT_BGR;
            break;
        case 4:
            c.jpeg_color_space = JCS_CMYK, c.out_color_space = JCS_CMYK;
            break;
        default:
            break;
    }
}

bool decode_strip(State* s, const TIFFJPEGLayout& layout, std::span<const uint8_t> strip,
                  std::span<uint8_t> target, size_t row_bytes, size_t* produced) {
    if (setjmp(s->errors.recovery)) {
        jpeg_abort_decompress(&s->cinfo);
        return false;
    }
    set_input(s, strip);
    jpeg_read_header(&s->cinfo, TRUE);
    s->failure = check_header(s->cinfo, layout, target.size() / row_bytes);
    if (s->failure != nullptr) {
        jpeg_abort_decompress(&s->cinfo);
        return false;
    }
    choose_colour_spaces(s->cinfo, layout.photometric);
    jpeg_start_decompress(&s->cinfo);
    while (s->cinfo.output_scanline < s->cinfo.output_height) {
        JSAMPROW row = target.data() + size_t{s->cinfo.output_scanline} * row_bytes;
        jpeg_read_scanlines(&s->cinfo, &row, 1);
    }
    *produced = size_t{s->cinfo.output_height} * row_bytes;
    jpeg_finish_decompress(&s->cinfo);
    return true;
}

}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TIFFJPEGLayout& layout)
    : layout_(layout), state_(std::make_unique<State>()) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() { decode_end(); }

void TTIFFJPEGDecoder::decode_init() {
    if (!create(state_.get())) raise_failure(*state_);
    if (!layout_.has_tables) return;
    if (layout_.tables.empty()) throw toolkit::EGraphicCompression(gesJPEGBogusTableField);
    if (!read_tables(state_.get(), layout_.tables)) raise_failure(*state_);
}

DecodeResult TTIFFJPEGDecoder::decode(std::span<const uint8_t> source, std::span<uint8_t> target) {
    const size_t row_bytes = size_t{layout_.width} * layout_.components;
    if (row_bytes == 0 || target.size() % row_bytes != 0)
        throw toolkit::EGraphicCompression(gesJPEGFractionalLine);
    State* s = state_.get();
    if (!s->created) decode_init();
    s->failure = nullptr;
    size_t produced = 0;
    if (!decode_strip(s, layout_, source, target, row_bytes, &produced)) raise_failure(*s);
    return {source.size(), produced};
}

void TTIFFJPEGDecoder::decode_end() {
    if (state_ && state_->created) {
        jpeg_destroy_decompress(&state_->cinfo);
        state_->created = false;
    }
}

}  // namespace quorvel::readers
