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
QUORVEL_API int WSQ_decode_stream(unsigned char* data, int length, unsigned char** out, int* width,
                                  int* height, int* ppi, char** comment);

/* Loads an image file into the library's bitmap and returns that bitmap's handle, a DIB
   section of 24 bits per pixel, or null on any failure. The reader is chosen by the name's
   extension alone ("\", ":" and "/" delimit directories): .wsq; .png .tga .cel .rgb .rgba .gif
   .iff .pcx; .bmp .rle .dib .jfif .tif .tiff .fax .psd .pdd .win .vst .vda .icb .eps .pcc .scr
   .rpf .rla .sgi .bw .ppm .pgm .pbm .pic .pcd .cut .psp; .ico; .wmf .emf; .jpg .jpeg .jpe. Any
   other extension reads nothing and returns the handle of the image loaded last.
   The handle belongs to the library: do not delete it. It stays valid until the next call
   that loads an image, which destroys it; copy the image (CopyImage) to keep it longer. A
   failed .bmp/.jpg/.ico/... load keeps the previous image; a failed .wsq/.png/... load empties
   it (the reason is in the container's last error). A .wsq load sets the ppi and comment
   settings from the file (comment null when the file has none), even when the read fails. */
QUORVEL_API HBITMAP CreateBMPFromFile(char* file_name);

/* Saves a copy of `bitmap` (the caller's bitmap is neither changed nor deleted) as type 1 WSQ,
   2 BMP, 3 TIFF, 4 PNG, 5 JPEG (quality 90), 6 Targa or 7 SGI RGB, to `file_name` with its
   extension replaced by the type's (.wsq .bmp .tif .png .jpg .tga .rgb). Returns 1 always;
   check for the file to know whether it was written. With SetShowFilePropertiesDialog(1) a
   WSQ or TIFF save first shows its property dialog (a real modal one when ShowFileConverter
   would show a real window); either way it takes its parameters from
   that dialog's controls (which the setters write) and leaves them in the settings. Failures
   are shown in a "Save Error" message box (WSQ reports its own); a failed write leaves any
   older file of that name as it was. Other type codes write nothing. */
QUORVEL_API int SaveBMPToFile(HBITMAP bitmap, char* file_name, int type);

/* Process-wide settings used by the file functions. Each setter also writes the property
   dialog control that shows the value; WriteWSQ_comment keeps the pointer, not a copy. A
   comment text the library made (a WSQ load's or save's) stays valid for the life of the
   process: keep the pointer ReadWSQ_comment gives as long as you like, do not free it. */
QUORVEL_API void WriteWSQ_bitrate(double bitrate);
QUORVEL_API double ReadWSQ_bitrate(void);
QUORVEL_API void WriteWSQ_ppi(int ppi);
QUORVEL_API int ReadWSQ_ppi(void);
QUORVEL_API void WriteWSQ_comment(char* text);
QUORVEL_API char* ReadWSQ_comment(void);
QUORVEL_API void WriteTIFFcompression(
    int code); /* 0 none, 1 ZIP (predictor reset to 2), 2 PackBits; others: none */
QUORVEL_API int ReadTIFFcompression(void);
QUORVEL_API void WriteTIFFpredictor(int predictor); /* low 16 bits are kept */
QUORVEL_API int ReadTIFFpredictor(void);
QUORVEL_API void SetShowFilePropertiesDialog(int flag); /* dialogs are shown only for 1 */

/* Shows the batch "File format converter" window. It reads its two directories from
   Quorvel.ini (beside the library, or in $XDG_CONFIG_HOME/quorvel) at every showing and writes
   them back at every closing. With a display (DISPLAY or WAYLAND_DISPLAY set, QUORVEL_HEADLESS
   not 1) and libquorvel-qt.so beside the library, it is a real window: in a host that runs a Qt
   application it is modeless and the call returns at once; a host without a Qt event loop of
   its own waits in ShowFileConverter while the window is open (the module runs the loop a
   window needs) and gets the call back when the user closes it. Without a display, or when the
   module is missing or cannot show windows, it is shown headless and the call returns at once. */
QUORVEL_API void ShowFileConverter(void);

/* Always null: the windows are reached only through the functions. */
QUORVEL_API extern void* TiffDialog;
QUORVEL_API extern void* WSQDialog;
QUORVEL_API extern void* FileFormatConverterForm;

#ifdef __cplusplus
}
#endif

#endif
