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

/* In-memory WSQ streams. Output buffers belong to the library: pass back in *out the buffer
   the same function returned last time (or null); the library frees it on the next call. */
QUORVEL_API int WSQ_encode_stream(unsigned char* pixels, int width, int height, double bitrate,
                                  int ppi, char* comment, unsigned char** out, int* out_length);
QUORVEL_API int WSQ_decode_stream(unsigned char* data, int length, unsigned char** out,
                                  int* width, int* height, int* ppi, char** comment);

/* Process-wide settings used by the file functions. */
QUORVEL_API void WriteWSQ_bitrate(double bitrate);
QUORVEL_API double ReadWSQ_bitrate(void);
QUORVEL_API void WriteWSQ_ppi(int ppi);
QUORVEL_API int ReadWSQ_ppi(void);
QUORVEL_API void WriteWSQ_comment(char* text);
QUORVEL_API char* ReadWSQ_comment(void);
QUORVEL_API void WriteTIFFcompression(int code); /* 0 none, 1 ZIP, 2 PackBits */
QUORVEL_API int ReadTIFFcompression(void);
QUORVEL_API void WriteTIFFpredictor(int predictor); /* low 16 bits are kept */
QUORVEL_API int ReadTIFFpredictor(void);
QUORVEL_API void SetShowFilePropertiesDialog(int flag);

/* Always null: the windows are reached only through the functions. */
QUORVEL_API extern void* TiffDialog;
QUORVEL_API extern void* WSQDialog;
QUORVEL_API extern void* FileFormatConverterForm;

#ifdef __cplusplus
}
#endif

#endif
