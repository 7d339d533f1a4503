// The converter window's default settings: the library's, through the same setters as the
// exports (which also refresh the property dialogs' controls).
#include "ui/converter_settings.h"

#include <quorvel/quorvel.h>

#include "api/settings.h"
#include "ui/tiff_dialog.h"

namespace quorvel::ui {
namespace {

class LibrarySettings : public ConverterSettings {
public:
    Properties properties() const override {
        const api::Settings& settings = api::library_state().settings;
        return {settings.wsq_bitrate, settings.wsq_ppi,
                settings.wsq_comment != nullptr ? settings.wsq_comment : "",
                api::tiff_dialog_item(settings.tiff_compression), settings.tiff_predictor};
    }
    void set_wsq(double bitrate, int ppi, char* comment) override {
        WriteWSQ_bitrate(bitrate);
        WriteWSQ_ppi(ppi);
        WriteWSQ_comment(comment);
    }
    void set_tiff(int compression_item, uint16_t predictor) override {
        api::Settings& settings = api::library_state().settings;
        switch (compression_item) {
            case TTiffDialog::kZip:
                settings.tiff_compression = api::kTiffZip;
                settings.tiff_predictor = predictor;
                break;
            case TTiffDialog::kMacintosh:
                settings.tiff_compression = api::kTiffPackBits;
                break;
            default:
                settings.tiff_compression = api::kTiffNone;
                break;
        }
    }
    void set_show_properties(bool show) override { SetShowFilePropertiesDialog(show ? 1 : 0); }
    void forget_comment(const char* comment) override {
        api::Settings& settings = api::library_state().settings;
        if (settings.wsq_comment == comment) settings.wsq_comment = api::default_comment();
    }
};

}  // namespace

ConverterSettings& library_settings() {
    static LibrarySettings settings;
    return settings;
}

}  // namespace quorvel::ui
