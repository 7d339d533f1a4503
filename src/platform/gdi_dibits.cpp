// GetDIBits: a bitmap's pixels as device-independent rows (bottom-up unless the caller asks
// for top-down with a negative height), 4-byte aligned, in the depth the caller asks for.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/gdi_objects.h"
#include "platform/last_error.h"
#include "platform/limits.h"

namespace quorvel::platform {
namespace {

uint64_t dib_row_bytes(int32_t width, int bits) {
    return (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
}

bool fits(const QuorvelGdiObject& bitmap, int bits) {
    return dib_row_bytes(bitmap.width, bits) * static_cast<uint64_t>(bitmap.height) <=
           kMaxBlockBytes;
}

// With no buffer, Win32 fills in the header: the bitmap's size and depth, uncompressed.
int fill_header(const QuorvelGdiObject& bitmap, BITMAPINFOHEADER& header) {
    if (header.biBitCount == 0) header.biBitCount = bitmap.bits_per_pixel;
    if (!valid_bitmap_depth(header.biBitCount) || !fits(bitmap, header.biBitCount)) {
        set_last_error(EINVAL);
        return 0;
    }
    header.biWidth = bitmap.width;
    header.biHeight = bitmap.height;
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(dib_row_bytes(bitmap.width, header.biBitCount) *
                                            static_cast<uint64_t>(bitmap.height));
    return 1;
}

// Depths we convert to: any depth to 16, 24 or 32 bits; 8 bits or less only unchanged.
bool convertible(const QuorvelGdiObject& bitmap, const BITMAPINFOHEADER& header) {
    if (header.biCompression != BI_RGB || !valid_bitmap_depth(header.biBitCount)) return false;
    if (!fits(bitmap, header.biBitCount)) return false;
    if (header.biWidth != bitmap.width || header.biHeight == INT32_MIN) return false;
    const int32_t rows = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (rows != bitmap.height) return false;
    return header.biBitCount >= 16 || header.biBitCount == bitmap.bits_per_pixel;
}

void convert_row(const QuorvelGdiObject& bitmap, int32_t y, int bits, uint8_t* out) {
    const uint8_t* in = row_from_top(bitmap, y);
    if (bits == bitmap.bits_per_pixel) {
        std::memcpy(out, in, (static_cast<size_t>(bitmap.width) * bits + 7) / 8);
        return;
    }
    for (int32_t x = 0; x < bitmap.width; ++x)
        write_pixel(out, x, bits, read_pixel(in, x, bitmap.bits_per_pixel, bitmap.colours));
}

int copy_lines(const QuorvelGdiObject& bitmap, UINT start, UINT lines, uint8_t* bits,
               BITMAPINFO& info) {
    const BITMAPINFOHEADER& header = info.bmiHeader;
    if (start >= static_cast<UINT>(bitmap.height)) return 0;
    const UINT count = std::min<UINT>(lines, static_cast<UINT>(bitmap.height) - start);
    const size_t stride = dib_row_bytes(bitmap.width, header.biBitCount);
    const bool top_down = header.biHeight < 0;
    for (UINT k = 0; k < count; ++k) {
        // Scan lines are numbered from the bottom of a bottom-up picture, from the top else.
        const int32_t line = static_cast<int32_t>(start + k);
        const int32_t y = top_down ? line : bitmap.height - 1 - line;
        uint8_t* out = bits + static_cast<size_t>(k) * stride;
        std::memset(out, 0, stride);
        convert_row(bitmap, y, header.biBitCount, out);
    }
    // Win32 hands back the colour table with indexed pixels.
    if (header.biBitCount <= 8)
        std::memcpy(info.bmiColors, bitmap.colours.data(), bitmap.colours.size() * sizeof(RGBQUAD));
    return static_cast<int>(count);
}

}  // namespace
}  // namespace quorvel::platform

using namespace quorvel::platform;

extern "C" {

QUORVEL_GDI_API int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPVOID bits,
                              BITMAPINFO* info, UINT usage) {
    return guarded(0, [&] {
        QuorvelGdiObject* bitmap = find_object(handle);
        if (find_dc(dc) == nullptr || bitmap == nullptr ||
            bitmap->kind == QuorvelGdiObject::Kind::Brush || info == nullptr ||
            usage != DIB_RGB_COLORS || info->bmiHeader.biSize != sizeof(BITMAPINFOHEADER)) {
            set_last_error(EINVAL);
            return 0;
        }
        if (bits == nullptr) return fill_header(*bitmap, info->bmiHeader);
        if (!convertible(*bitmap, info->bmiHeader)) {
            set_last_error(EINVAL);
            return 0;
        }
        return copy_lines(*bitmap, start, lines, static_cast<uint8_t*>(bits), *info);
    });
}

}  // extern "C"
