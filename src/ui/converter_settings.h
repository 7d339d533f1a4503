// The save settings as the converter window sees them: it fills the property dialogs from them
// at every showing, writes what the user accepted there before a run, and turns the dialogs off
// for the run (the job's saves ask nothing) and on again after it. The window is handed them,
// by default the library's own, and never reaches into the library's state itself.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel::ui {

class ConverterSettings {
public:
    struct Properties {
        double wsq_bitrate = 0.0;
        int wsq_ppi = 0;
        std::string wsq_comment;
        int tiff_compression_item = 0;  // the TIFF dialog's CompressionBox item
        uint16_t tiff_predictor = 0;
    };

    virtual ~ConverterSettings() = default;
    virtual Properties properties() const = 0;
    // The comment is kept as the pointer given, never copied: it must outlive its use.
    virtual void set_wsq(double bitrate, int ppi, char* comment) = 0;
    // The compression chosen by its CompressionBox item; the predictor counts for ZIP only.
    virtual void set_tiff(int compression_item, uint16_t predictor) = 0;
    virtual void set_show_properties(bool show) = 0;
    // Points the comment setting back at the library's own text if it still holds `comment`.
    virtual void forget_comment(const char* comment) = 0;
};

// The library's settings, those the exports read and write (defined with them, in src/api).
ConverterSettings& library_settings();

}  // namespace quorvel::ui
