// The settings getters and setters of the export table, each also under its name with a
// leading underscore, which is how hosts resolve them.
#include <quorvel/quorvel.h>

#include "api/guard.h"
#include "api/settings.h"
#include "ui/dialogs.h"

using quorvel::api::guarded;
using quorvel::api::guarded_void;
using quorvel::api::library_state;

extern "C" {

QUORVEL_API void WriteWSQ_bitrate(double bitrate) {
    guarded_void([&] {
        quorvel::api::write_wsq_bitrate(library_state().settings, quorvel::ui::wsq_dialog(),
                                        bitrate);
    });
}

QUORVEL_API double ReadWSQ_bitrate(void) { return library_state().settings.wsq_bitrate; }

QUORVEL_API void WriteWSQ_ppi(int ppi) {
    guarded_void([&] {
        quorvel::api::write_wsq_ppi(library_state().settings, quorvel::ui::wsq_dialog(), ppi);
    });
}

QUORVEL_API int ReadWSQ_ppi(void) { return library_state().settings.wsq_ppi; }

QUORVEL_API void WriteWSQ_comment(char* text) {
    guarded_void([&] {
        quorvel::api::write_wsq_comment(library_state().settings, quorvel::ui::wsq_dialog(), text);
    });
}

QUORVEL_API char* ReadWSQ_comment(void) { return library_state().settings.wsq_comment; }

QUORVEL_API void WriteTIFFcompression(int code) {
    guarded_void([&] {
        quorvel::api::write_tiff_compression(library_state().settings, quorvel::ui::tiff_dialog(),
                                             code);
    });
}

QUORVEL_API int ReadTIFFcompression(void) {
    return quorvel::api::tiff_export_code(library_state().settings.tiff_compression);
}

QUORVEL_API void WriteTIFFpredictor(int predictor) {
    guarded_void([&] {
        quorvel::api::write_tiff_predictor(library_state().settings, quorvel::ui::tiff_dialog(),
                                           predictor);
    });
}

QUORVEL_API int ReadTIFFpredictor(void) { return library_state().settings.tiff_predictor; }

QUORVEL_API void SetShowFilePropertiesDialog(int flag) {
    library_state().settings.show_properties = flag;
}

QUORVEL_API void _WriteWSQ_bitrate(double) __attribute__((alias("WriteWSQ_bitrate")));
QUORVEL_API double _ReadWSQ_bitrate(void) __attribute__((alias("ReadWSQ_bitrate")));
QUORVEL_API void _WriteWSQ_ppi(int) __attribute__((alias("WriteWSQ_ppi")));
QUORVEL_API int _ReadWSQ_ppi(void) __attribute__((alias("ReadWSQ_ppi")));
QUORVEL_API void _WriteWSQ_comment(char*) __attribute__((alias("WriteWSQ_comment")));
QUORVEL_API char* _ReadWSQ_comment(void) __attribute__((alias("ReadWSQ_comment")));
QUORVEL_API void _WriteTIFFcompression(int) __attribute__((alias("WriteTIFFcompression")));
QUORVEL_API int _ReadTIFFcompression(void) __attribute__((alias("ReadTIFFcompression")));
QUORVEL_API void _WriteTIFFpredictor(int) __attribute__((alias("WriteTIFFpredictor")));
QUORVEL_API int _ReadTIFFpredictor(void) __attribute__((alias("ReadTIFFpredictor")));
QUORVEL_API void _SetShowFilePropertiesDialog(int)
    __attribute__((alias("SetShowFilePropertiesDialog")));

}  // extern "C"
