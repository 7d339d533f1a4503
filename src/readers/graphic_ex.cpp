#include "readers/graphic_ex.h"

#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers {

using toolkit::EInvalidGraphic;
using toolkit::format_message;

TGraphicExGraphic::TGraphicExGraphic() : limits_(reader_limits()) {}

bool TGraphicExGraphic::can_load_file(const std::string& file_name) {
    const std::vector<uint8_t> bytes = toolkit::read_whole_file(file_name);
    toolkit::Stream stream(bytes);
    return can_load_stream(stream);
}

bool TGraphicExGraphic::can_load_stream(toolkit::Stream& stream) {
    const size_t position = stream.position();
    bool ok = false;
    try {
        ok = read_image_info(stream, 0);
    } catch (const toolkit::GraphicError&) {
    }
    stream.seek(position);
    return ok;
}

void TGraphicExGraphic::LoadFromStream(toolkit::Stream& stream) {
    try {
        load_image(stream);
    } catch (...) {
        release_image();
        throw;
    }
}

bool TGraphicExGraphic::read_image_info(toolkit::Stream&, int) {
    image_info_ = ReaderImageInfo{};
    return false;
}

size_t TGraphicExGraphic::begin_load(toolkit::Stream& stream, const char* format_name,
                                     int image_index) {
    release_image();
    const size_t base = stream.position();
    if (!read_image_info(stream, image_index)) fail(gesInvalidImage, format_name);
    stream.seek(base);
    return base;
}

void TGraphicExGraphic::prepare_bitmap(int width, int height, uint64_t max_pixels_in_file) {
    const uint64_t pixels = static_cast<uint64_t>(width < 0 ? 0 : width) *
                            static_cast<uint64_t>(height < 0 ? 0 : height);
    TColorManager& cm = color_manager();
    const uint64_t bytes =
        pixels * static_cast<uint64_t>(toolkit::storage_bits(cm.target_pixel_format())) / 8;
    if (width <= 0 || height <= 0 || pixels > limits_.max_pixels ||
        bytes > limits_.max_load_bytes ||
        (max_pixels_in_file != 0 && !platform::size_plausible(pixels, bytes, max_pixels_in_file)))
        refuse_size(width, height);
    set_pixel_format(cm.target_pixel_format());
    const ColorModel target = cm.target_color_scheme();
    if (target == cmGray || target == cmGrayAlpha) set_palette(cm.make_gray_palette(false));
    set_size(width, height);
}

void TGraphicExGraphic::refuse_size(int width, int height) const {
    throw EInvalidGraphic("Cannot load image. The image size " + std::to_string(width) + " x " +
                          std::to_string(height) +
                          " is larger than the file can hold or the limit of " +
                          std::to_string(limits_.max_pixels) + " pixels allows.");
}

void TGraphicExGraphic::progress_start(const char* text) const {
    stage_text_ = text;
    progress(toolkit::ProgressStage::Starting, 0, stage_text_);
}

void TGraphicExGraphic::progress_row(int row, int height) const {
    const int percent =
        height > 0 ? static_cast<int>(static_cast<int64_t>(row) * 100 / height) : 100;
    progress(toolkit::ProgressStage::Running, percent, stage_text_);
}

void TGraphicExGraphic::progress_end() const {
    progress(toolkit::ProgressStage::Ending, 100, stage_text_);
}

void TGraphicExGraphic::fail(const char* message, const std::string& fill) {
    throw EInvalidGraphic(format_message(message, fill));
}

void TGraphicExGraphic::fail(const char* message, const std::string& first,
                             const std::string& second) {
    throw EInvalidGraphic(format_message(message, first, second));
}

}  // namespace quorvel::readers
