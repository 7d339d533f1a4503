/* Quorvel: WSQ fingerprint codec and image conversion library — the C exports. */
#ifndef QUORVEL_QUORVEL_H
#define QUORVEL_QUORVEL_H

#include <quorvel/wingdi.h>

#if defined(__GNUC__)
#define QUORVEL_API __attribute__((visibility("default")))
#else
#define QUORVEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Every function below is also exported under its name with a leading underscore
   (_WSQ_encode_stream, _ReadWSQ_ppi, ...): those are the names hosts resolve. */

/* In-memory WSQ streams. Output buffers belong to the library: pass back in *out the buffer
   the same function returned last time (or null); the library frees it on the next call (the
   very first call of each function frees nothing). WSQ_encode_stream always returns 1; on
   failure *out is null after any call but the first. WSQ_decode_stream returns 1, or the
   marker reader's negative code when the data does not begin with an SOI marker followed by
   another marker; a failed decode leaves *out null and the sizes unchanged. *comment receives
   the text of the last COM segment before the first block, allocated by the library and
   never freed by it; without a COM segment it is left as passed. */
QUORVEL_API int WSQ_encode_stream(unsigned char* pixels, int width, int height, double bitrate,
                                  int ppi, char* comment, unsigned char** out, int* out_length);
QUORVEL_API int WSQ_decode_stream(unsigned char* data, int length, unsigned char** out,
                                  int* width, int* height, int* ppi, char** comment);

/* Process-wide settings used by the file functions. Each setter also writes the property
   dialog control that shows the value; WriteWSQ_comment keeps the pointer, not a copy. */
QUORVEL_API void WriteWSQ_bitrate(double bitrate);
QUORVEL_API double ReadWSQ_bitrate(void);
QUORVEL_API void WriteWSQ_ppi(int ppi);
QUORVEL_API int ReadWSQ_ppi(void);
QUORVEL_API void WriteWSQ_comment(char* text);
QUORVEL_API char* ReadWSQ_comment(void);
QUORVEL_API void WriteTIFFcompression(int code); /* 0 none, 1 ZIP (predictor reset to 2), 2 PackBits; others: none */
QUORVEL_API int ReadTIFFcompression(void);
QUORVEL_API void WriteTIFFpredictor(int predictor); /* low 16 bits are kept */
QUORVEL_API int ReadTIFFpredictor(void);
QUORVEL_API void SetShowFilePropertiesDialog(int flag); /* dialogs are shown only for 1 */

/* Shows the batch "File format converter" window modelessly and returns at once. It reads its
   two directories from Quorvel.ini (beside the library, or in $XDG_CONFIG_HOME/quorvel) at every
   showing and writes them back at every closing. */
QUORVEL_API void ShowFileConverter(void);

/* Always null: the windows are reached only through the functions. */
QUORVEL_API extern void* TiffDialog;
QUORVEL_API extern void* WSQDialog;
QUORVEL_API extern void* FileFormatConverterForm;

#ifdef __cplusplus
}
#endif

#endif
