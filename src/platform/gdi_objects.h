// The objects behind GDI handles: bitmaps (DIB sections and device-dependent bitmaps),
// brushes, device contexts and the one window. Handles are pointers to these objects, and
// every handle a host passes in is looked up among the live objects before it is touched,
// so a stale or made-up handle fails like on Windows instead of crashing.
#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

#include <quorvel/wingdi.h>

#include "platform/pixel_block.h"

struct QuorvelGdiObject {
    enum class Kind { DibSection, DeviceBitmap, Brush };
    Kind kind = Kind::Brush;
    // Bitmaps. `height` is the row count; DIB sections may store rows top-down.
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits_per_pixel = 0;
    bool top_down = false;
    uint32_t row_bytes = 0;  // 4-byte aligned for sections, 2-byte aligned for DDBs
    quorvel::platform::PixelBlock bits;
    std::vector<RGBQUAD> colours;  // 2^bits entries for 8 bits or less
    BITMAPINFOHEADER header{};     // sections: the header as created (sizes filled in)
    bool stock = false;            // never freed, may sit in several contexts
    QuorvelDeviceContext* selected_in = nullptr;
    // Brushes.
    COLORREF colour = 0;
};

struct QuorvelDeviceContext {
    enum class Kind { Window, Memory };
    Kind kind = Kind::Memory;
    QuorvelGdiObject* bitmap = nullptr;  // memory contexts: the selected bitmap
};

struct QuorvelWindow {
    int id = 0;
};

namespace quorvel::platform {

// One lock for all GDI state; every export takes it for its whole call.
std::mutex& gdi_mutex();

void set_gdi_error(DWORD code);

// Runs an export's body under the GDI lock; anything thrown becomes the Win32 failure value,
// so no exception crosses the C boundary.
template <typename Result, typename Body>
Result guarded(Result failure, Body body) noexcept {
    try {
        std::lock_guard lock(gdi_mutex());
        return body();
    } catch (...) {
        set_gdi_error(ENOMEM);
        return failure;
    }
}

QuorvelGdiObject* find_object(const void* handle);
QuorvelDeviceContext* find_dc(const void* handle);
QuorvelGdiObject* add_object(QuorvelGdiObject* object);
QuorvelDeviceContext* add_dc(QuorvelDeviceContext* dc);
void remove_object(QuorvelGdiObject* object);
void remove_dc(QuorvelDeviceContext* dc);
// Live objects that a host created (stock objects excluded); tests use it to find leaks.
size_t live_object_count();
size_t live_dc_count();

// The 1x1 monochrome bitmap every memory context starts with.
QuorvelGdiObject* stock_bitmap();
// The desktop window that stands in for the foreground window.
QuorvelWindow* desktop_window();

bool valid_bitmap_depth(int bits);
// Builds a bitmap of the given shape with zeroed rows, or with `rows` as its pixels: a block
// from malloc of exactly the bitmap's size, which the bitmap then owns. Null (last error set,
// `rows` still the caller's) when the size is out of range or memory runs out. Sections take a
// 4-byte row alignment, DDBs 2 bytes.
QuorvelGdiObject* make_bitmap(QuorvelGdiObject::Kind kind, int32_t width, int32_t height,
                              int bits_per_pixel, uint8_t* rows = nullptr);
// The bytes of one row of a bitmap of that shape and kind.
uint64_t bitmap_row_bytes(QuorvelGdiObject::Kind kind, int32_t width, int bits_per_pixel);
// CreateDIBSection over a block the caller filled: `rows`, from malloc and `size` bytes long,
// becomes the section's pixels. The block is the library's either way: when it is not the
// section's size or the section cannot be made, it is freed and the answer is null (last
// error set).
HBITMAP create_section_over(const BITMAPINFO& info, uint8_t* rows, size_t size);
// Default colour table of a device-dependent bitmap of 8 bits or less.
std::vector<RGBQUAD> default_colours(int bits_per_pixel);

// Row `y` counted from the top of the picture.
uint8_t* row_from_top(QuorvelGdiObject& bitmap, int32_t y);
const uint8_t* row_from_top(const QuorvelGdiObject& bitmap, int32_t y);

// Pixel `x` of a row as a colour (through the colour table for 8 bits or less; the reserved
// byte carries a 32-bit pixel's fourth byte, else 0).
RGBQUAD read_pixel(const uint8_t* row, int32_t x, int bits_per_pixel,
                   const std::vector<RGBQUAD>& colours);
// Stores a colour as a 16-, 24- or 32-bit pixel.
void write_pixel(uint8_t* row, int32_t x, int bits_per_pixel, RGBQUAD colour);

}  // namespace quorvel::platform
