// The settings the file functions use and the stream functions' first-call flags, held in one
// struct that is part of a Context (api/context.h): the exports use the default context's,
// one for the process. The setters here also write the property dialogs' controls, because
// every save reads those controls back into the settings.
#pragma once

#include <cstdint>

namespace quorvel::ui {
class TWSQDialog;
class TTiffDialog;
}  // namespace quorvel::ui

namespace quorvel::api {

// TIFF writer compression codes held in the setting.
inline constexpr uint8_t kTiffNone = 0;
inline constexpr uint8_t kTiffPackBits = 9;
inline constexpr uint8_t kTiffZip = 13;

// The comment setting's initial text, a constant of the library.
char* default_comment();

struct Settings {
    double wsq_bitrate = 0.75;
    int wsq_ppi = 500;
    char* wsq_comment = default_comment();  // the caller's pointer, never a copy
    uint8_t tiff_compression = kTiffNone;   // a TIFF writer code
    uint16_t tiff_predictor = 2;
    int show_properties = 1;  // dialogs are shown during a save exactly when this is 1
    int jpeg_quality = 90;    // JPEG saves; not exported (the command-line tool sets it)
};

struct StreamFlags {
    bool encode_first_call = true;  // until the first WSQ_encode_stream completes
    bool decode_first_call = true;  // until the first WSQ_decode_stream reaches its end
};

struct LibraryState {
    Settings settings;
    StreamFlags stream;
};

// The default context's (api/context.h): the exports'.
LibraryState& library_state();

// The exports' TIFF compression codes (0 none, 1 ZIP, 2 PackBits) against the writer's.
uint8_t tiff_writer_code(int export_code);
int tiff_export_code(uint8_t writer_code);
// The CompressionBox item that shows a writer code.
int tiff_dialog_item(uint8_t writer_code);

// The setters: each writes its setting, then the control that shows it.
void write_wsq_bitrate(Settings& settings, ui::TWSQDialog& dialog, double bitrate);
void write_wsq_ppi(Settings& settings, ui::TWSQDialog& dialog, int ppi);
void write_wsq_comment(Settings& settings, ui::TWSQDialog& dialog, char* text);
void write_tiff_compression(Settings& settings, ui::TTiffDialog& dialog, int export_code);
void write_tiff_predictor(Settings& settings, ui::TTiffDialog& dialog, int predictor);

}  // namespace quorvel::api
