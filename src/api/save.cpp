#include "api/save.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/presenter.h"
#include "platform/replacing_file.h"
#include "raster/bmg_error.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/number_text.h"
#include "ui/desktop_module.h"
#include "ui/dialogs.h"
#include "wsq/diag.h"

namespace quorvel::api {
namespace {

using toolkit::Bitmap;

constexpr char kSaveError[] = "Save Error";
constexpr const char* kExtensions[] = {".wsq", ".bmp", ".tif", ".png", ".jpg", ".tga", ".rgb"};

void show_save_error(const std::string& text) {
    platform::presenter().message_box(nullptr, text, kSaveError, MB_OK | MB_ICONERROR);
}

// Shows the failure and keeps its reason for the caller.
bool report_not_saved(const std::string& target, const std::string& text, std::string& reason) {
    show_save_error("Cannot save \"" + target + "\": " + text);
    reason = text;
    return false;
}

// The copy every writer reads, at 24 bits; empty for a null or unknown handle.
void make_working_copy(HBITMAP bitmap, Bitmap& copy) {
    copy.assign_handle(static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0)));
    copy.set_pixel_format(toolkit::PixelFormat::Bit24);
}

// A property dialog is a real one when there is a display for it.
void show_properties(toolkit::Form& dialog) {
    ui::use_desktop_presenter();
    dialog.show_modal();
}

// Settings from the WSQ dialog's edits; false (and a message) when an edit holds no number.
bool take_wsq_settings(FileState& state, Settings& settings, const std::string& target,
                       std::string& reason) {
    ui::TWSQDialog& dialog = ui::wsq_dialog();
    double bitrate = 0;
    int ppi = 0;
    if (!toolkit::parse_float(dialog.BitrateEdit.text(), bitrate))
        return report_not_saved(
            target, "'" + dialog.BitrateEdit.text() + "' is not a valid floating point value",
            reason);
    settings.wsq_bitrate = bitrate;
    if (!toolkit::parse_int(dialog.ppiEdit.text(), ppi))
        return report_not_saved(
            target, "'" + dialog.ppiEdit.text() + "' is not a valid integer value", reason);
    settings.wsq_ppi = ppi;
    settings.wsq_comment = state.keep_comment(dialog.comment_textEdit.text().c_str());
    return true;
}

// The last line the codec wrote, without its line end.
std::string last_line(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.find_last_of('\n') + 1);
}

// The WSQ writer records no last error and the encoder says why it refused only in its own
// lines: those are taken for the reason and still reach whoever listens to the codec.
bool write_wsq(const Bitmap& copy, const std::string& target, raster::WsqFileOptions& options,
               std::string& reason) {
    raster::BMGError status;
    std::string lines;
    {
        wsq::DiagCapture capture;
        status = raster::WriteImageFile(copy.handle(), target.c_str(), &options);
        lines = capture.text();
    }
    if (!lines.empty()) wsq::diag("%s", lines.c_str());
    if (status == raster::BMG_OK) return true;
    reason = lines.empty() ? raster::ImageErrorText(status) : last_line(lines);
    return false;
}

bool save_wsq(FileState& state, Settings& settings, const Bitmap& copy, const std::string& target,
              std::string& reason) {
    if (settings.show_properties == 1) show_properties(ui::wsq_dialog());
    if (!take_wsq_settings(state, settings, target, reason)) return false;
    // The options' comment is the call's own copy.
    const std::string text = ui::wsq_dialog().comment_textEdit.text();
    std::vector<char> comment(text.begin(), text.end());
    comment.push_back('\0');
    raster::WsqFileOptions options{8, settings.wsq_bitrate, settings.wsq_ppi, comment.data()};
    return write_wsq(copy, target, options, reason);
}

void take_tiff_settings(Settings& settings) {
    const ui::TTiffDialog& dialog = ui::tiff_dialog();
    switch (dialog.CompressionBox.item_index()) {
        case ui::TTiffDialog::kZip:
            settings.tiff_compression = kTiffZip;
            settings.tiff_predictor =
                static_cast<uint16_t>(text_to_long(dialog.PredictorEdit.text()) & 0xFFFF);
            break;
        case ui::TTiffDialog::kMacintosh:
            settings.tiff_compression = kTiffPackBits;
            break;
        default:
            settings.tiff_compression = kTiffNone;
            break;
    }
}

// The writer's status, and its text for the reason when it failed.
bool written(raster::BMGError status, std::string& reason) {
    if (status != raster::BMG_OK) reason = raster::ImageErrorText(status);
    return status == raster::BMG_OK;
}

bool save_tiff(Settings& settings, const Bitmap& copy, const std::string& target,
               std::string& reason) {
    if (settings.show_properties == 1) show_properties(ui::tiff_dialog());
    take_tiff_settings(settings);
    raster::TiffFileOptions options{settings.tiff_compression, 0, 0, settings.tiff_predictor};
    return written(raster::WriteImageFile(copy.handle(), target.c_str(), &options), reason);
}

bool save_container(const Bitmap& copy, const std::string& target, std::string& reason) {
    const raster::BMGError status = raster::WriteImageFile(copy.handle(), target.c_str(), nullptr);
    if (status != raster::BMG_OK) show_save_error(raster::GetImageErrorText());
    return written(status, reason);
}

// The toolkit's writers: the whole file is made in memory, then written in one piece.
bool save_toolkit(const Bitmap& copy, const std::string& target, int type, int quality,
                  std::string& reason) {
    if (copy.empty()) return report_not_saved(target, "Invalid bitmap handle", reason);
    std::vector<uint8_t> bytes;
    try {
        bytes = toolkit::encode_bmp_or_jpeg(copy, type != kSaveBmp, quality);
    } catch (const toolkit::GraphicError& e) {
        return report_not_saved(target, e.what(), reason);
    }
    std::string why;
    if (!platform::write_file_replacing(target, bytes, why))
        return report_not_saved(target, why, reason);
    return true;
}

}  // namespace

const char* save_extension(int type) {
    return type >= 1 && type <= 7 ? kExtensions[type - 1] : nullptr;
}

std::string replace_extension(const std::string& file_name, const std::string& extension) {
    const size_t dot = file_name.find_last_of('.');
    const size_t delimiter = file_name.find_last_of("\\:/");
    if (dot == std::string::npos || (delimiter != std::string::npos && dot < delimiter))
        return file_name + extension;
    return file_name.substr(0, dot) + extension;
}

long text_to_long(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + uint32_t(text[i] - '0');
    return static_cast<long>(static_cast<int32_t>(negative ? 0u - value : value));
}

bool save_file(FileState& state, Settings& settings, HBITMAP bitmap, const char* file_name,
               int type, std::string& reason) {
    const char* extension = save_extension(type);
    if (extension == nullptr || file_name == nullptr) {
        reason = file_name == nullptr ? "no file name" : "no output type " + std::to_string(type);
        return false;
    }
    Bitmap copy;
    make_working_copy(bitmap, copy);
    const std::string target = replace_extension(file_name, extension);
    switch (type) {
        case kSaveWsq:
            return save_wsq(state, settings, copy, target, reason);
        case kSaveTiff:
            return save_tiff(settings, copy, target, reason);
        case kSaveBmp:
        case kSaveJpeg:
            return save_toolkit(copy, target, type, settings.jpeg_quality, reason);
        default:
            return save_container(copy, target, reason);
    }
}

}  // namespace quorvel::api
