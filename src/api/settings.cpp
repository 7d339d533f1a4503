#include "api/settings.h"

#include <string>

#include "toolkit/number_text.h"
#include "ui/tiff_dialog.h"
#include "ui/wsq_dialog.h"

namespace quorvel::api {
namespace {
char g_default_comment[] = "Vellacor";
}

char* default_comment() { return g_default_comment; }

uint8_t tiff_writer_code(int export_code) {
    switch (export_code) {
        case 1:
            return kTiffZip;
        case 2:
            return kTiffPackBits;
        default:
            return kTiffNone;
    }
}

int tiff_export_code(uint8_t writer_code) {
    switch (writer_code) {
        case kTiffZip:
            return 1;
        case kTiffPackBits:
            return 2;
        default:
            return 0;
    }
}

int tiff_dialog_item(uint8_t writer_code) {
    switch (writer_code) {
        case kTiffZip:
            return ui::TTiffDialog::kZip;
        case kTiffPackBits:
            return ui::TTiffDialog::kMacintosh;
        default:
            return ui::TTiffDialog::kNone;
    }
}

void write_wsq_bitrate(Settings& settings, ui::TWSQDialog& dialog, double bitrate) {
    settings.wsq_bitrate = bitrate;
    dialog.BitrateEdit.set_text(toolkit::format_general(bitrate));
}

void write_wsq_ppi(Settings& settings, ui::TWSQDialog& dialog, int ppi) {
    settings.wsq_ppi = ppi;
    dialog.ppiEdit.set_text(std::to_string(ppi));
}

void write_wsq_comment(Settings& settings, ui::TWSQDialog& dialog, char* text) {
    settings.wsq_comment = text;
    dialog.comment_textEdit.set_text(text != nullptr ? std::string(text) : std::string());
}

void write_tiff_compression(Settings& settings, ui::TTiffDialog& dialog, int export_code) {
    settings.tiff_compression = tiff_writer_code(export_code);
    if (settings.tiff_compression == kTiffZip) settings.tiff_predictor = 2;
    // Selecting the item runs the predictor rule, so the edit's state follows the selection.
    dialog.CompressionBox.set_item_index(tiff_dialog_item(settings.tiff_compression));
    dialog.PredictorEdit.set_text(std::to_string(settings.tiff_predictor));
}

void write_tiff_predictor(Settings& settings, ui::TTiffDialog& dialog, int predictor) {
    settings.tiff_predictor = static_cast<uint16_t>(static_cast<uint32_t>(predictor) & 0xFFFFu);
    dialog.PredictorEdit.set_text(std::to_string(settings.tiff_predictor));
}

}  // namespace quorvel::api
