/* The subset of Windows GDI and USER that the library exchanges with its host, with Win32's
   names, argument lists and record layouts, so that host code written for Windows ports
   unchanged. Bitmap, device-context and window handles are the library's own objects. */
#ifndef QUORVEL_WINGDI_H
#define QUORVEL_WINGDI_H

#include <stdint.h>

#if defined(__GNUC__)
#define QUORVEL_GDI_API __attribute__((visibility("default")))
#else
#define QUORVEL_GDI_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t BOOL;
typedef uint32_t UINT;
typedef void* LPVOID;
typedef void* HANDLE;
typedef uint32_t COLORREF;
typedef uintptr_t ULONG_PTR;

typedef struct QuorvelGdiObject* HGDIOBJ;
typedef struct QuorvelGdiObject* HBITMAP;
typedef struct QuorvelDeviceContext* HDC;
typedef struct QuorvelWindow* HWND;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION;

#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define BS_SOLID 0
#define IMAGE_BITMAP 0
#define LR_MONOCHROME 0x0001
#define LR_COPYDELETEORG 0x0008
#define LR_CREATEDIBSECTION 0x2000
#define MB_OK 0x0
#define MB_OKCANCEL 0x1
#define MB_ABORTRETRYIGNORE 0x2
#define MB_YESNOCANCEL 0x3
#define MB_YESNO 0x4
#define MB_RETRYCANCEL 0x5
#define MB_DEFBUTTON1 0x000
#define MB_DEFBUTTON2 0x100
#define MB_DEFBUTTON3 0x200
#define MB_ICONERROR 0x10
#define MB_ICONQUESTION 0x20
#define MB_ICONWARNING 0x30
#define MB_ICONINFORMATION 0x40
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

QUORVEL_GDI_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                         HANDLE section, DWORD offset);
QUORVEL_GDI_API HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel,
                                     const void* bits);
QUORVEL_GDI_API HGDIOBJ CreateSolidBrush(COLORREF colour);
QUORVEL_GDI_API int GetObjectA(HANDLE object, int size, LPVOID out);
QUORVEL_GDI_API int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits,
                              BITMAPINFO* info, UINT usage);
QUORVEL_GDI_API BOOL DeleteObject(HGDIOBJ object);
QUORVEL_GDI_API HANDLE CopyImage(HANDLE image, UINT type, int width, int height, UINT flags);
QUORVEL_GDI_API HDC GetDC(HWND window);
QUORVEL_GDI_API int ReleaseDC(HWND window, HDC dc);
QUORVEL_GDI_API HDC CreateCompatibleDC(HDC dc);
QUORVEL_GDI_API BOOL DeleteDC(HDC dc);
QUORVEL_GDI_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
QUORVEL_GDI_API UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colours);
QUORVEL_GDI_API UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colours);
QUORVEL_GDI_API HWND GetForegroundWindow(void);
QUORVEL_GDI_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
QUORVEL_GDI_API DWORD GetLastError(void);
QUORVEL_GDI_API void SetLastError(DWORD code);

#ifdef __cplusplus
}
#endif

#endif
