// Device contexts, the foreground window, object selection and DIB colour tables.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/gdi_objects.h"
#include "platform/last_error.h"

namespace quorvel::platform {
namespace {

using DcKind = QuorvelDeviceContext::Kind;

QuorvelDeviceContext* new_dc(DcKind kind) {
    auto* dc = new QuorvelDeviceContext;
    dc->kind = kind;
    dc->bitmap = kind == DcKind::Memory ? stock_bitmap() : nullptr;
    return add_dc(dc);
}

void deselect(QuorvelDeviceContext& dc) {
    if (dc.bitmap != nullptr && !dc.bitmap->stock) dc.bitmap->selected_in = nullptr;
    dc.bitmap = nullptr;
}

HGDIOBJ select_bitmap(QuorvelDeviceContext& dc, QuorvelGdiObject& bitmap) {
    QuorvelGdiObject* previous = dc.bitmap;
    if (&bitmap == previous) return previous;
    // A bitmap lives in one memory context at a time.
    if (!bitmap.stock && bitmap.selected_in != nullptr) {
        set_last_error(EBUSY);
        return nullptr;
    }
    if (previous != nullptr && !previous->stock) previous->selected_in = nullptr;
    dc.bitmap = &bitmap;
    if (!bitmap.stock) bitmap.selected_in = &dc;
    return previous;
}

// The colour table of the DIB section selected into `handle`, or null (last error set).
std::vector<RGBQUAD>* selected_table(HDC handle) {
    QuorvelDeviceContext* dc = find_dc(handle);
    QuorvelGdiObject* bitmap = dc == nullptr ? nullptr : dc->bitmap;
    if (bitmap == nullptr || bitmap->kind != QuorvelGdiObject::Kind::DibSection ||
        bitmap->bits_per_pixel > 8) {
        set_last_error(EINVAL);
        return nullptr;
    }
    return &bitmap->colours;
}

// Entries [start, start + count) clipped to the table; 0 when nothing is in range.
UINT clipped_count(const std::vector<RGBQUAD>& table, UINT start, UINT count) {
    if (start >= table.size()) return 0;
    return static_cast<UINT>(std::min<size_t>(count, table.size() - start));
}

}  // namespace
}  // namespace quorvel::platform

using namespace quorvel::platform;

extern "C" {

QUORVEL_GDI_API HWND GetForegroundWindow(void) { return desktop_window(); }

QUORVEL_GDI_API HDC GetDC(HWND window) {
    return guarded<HDC>(nullptr, [&]() -> HDC {
        if (window != nullptr && window != desktop_window()) {
            set_last_error(EINVAL);
            return nullptr;
        }
        return new_dc(QuorvelDeviceContext::Kind::Window);
    });
}

QUORVEL_GDI_API int ReleaseDC(HWND, HDC handle) {
    return guarded(0, [&] {
        QuorvelDeviceContext* dc = find_dc(handle);
        if (dc == nullptr || dc->kind != QuorvelDeviceContext::Kind::Window) return 0;
        remove_dc(dc);
        return 1;
    });
}

QUORVEL_GDI_API HDC CreateCompatibleDC(HDC handle) {
    return guarded<HDC>(nullptr, [&]() -> HDC {
        if (handle != nullptr && find_dc(handle) == nullptr) {
            set_last_error(EINVAL);
            return nullptr;
        }
        return new_dc(QuorvelDeviceContext::Kind::Memory);
    });
}

QUORVEL_GDI_API BOOL DeleteDC(HDC handle) {
    return guarded<BOOL>(0, [&]() -> BOOL {
        QuorvelDeviceContext* dc = find_dc(handle);
        if (dc == nullptr || dc->kind != QuorvelDeviceContext::Kind::Memory) {
            set_last_error(EINVAL);
            return 0;
        }
        deselect(*dc);
        remove_dc(dc);
        return 1;
    });
}

QUORVEL_GDI_API HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
    return guarded<HGDIOBJ>(nullptr, [&]() -> HGDIOBJ {
        QuorvelDeviceContext* dc = find_dc(handle);
        QuorvelGdiObject* found = find_object(object);
        // Only bitmaps, and only into memory contexts.
        if (dc == nullptr || dc->kind != QuorvelDeviceContext::Kind::Memory || found == nullptr ||
            found->kind == QuorvelGdiObject::Kind::Brush) {
            set_last_error(EINVAL);
            return nullptr;
        }
        return select_bitmap(*dc, *found);
    });
}

QUORVEL_GDI_API UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colours) {
    return guarded<UINT>(0, [&]() -> UINT {
        std::vector<RGBQUAD>* table = selected_table(dc);
        if (table == nullptr || colours == nullptr) return 0;
        const UINT n = clipped_count(*table, start, count);
        if (n > 0) std::memcpy(table->data() + start, colours, n * sizeof(RGBQUAD));
        return n;
    });
}

QUORVEL_GDI_API UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colours) {
    return guarded<UINT>(0, [&]() -> UINT {
        std::vector<RGBQUAD>* table = selected_table(dc);
        if (table == nullptr || colours == nullptr) return 0;
        const UINT n = clipped_count(*table, start, count);
        if (n > 0) std::memcpy(colours, table->data() + start, n * sizeof(RGBQUAD));
        return n;
    });
}

}  // extern "C"
