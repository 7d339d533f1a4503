// Bitmap and brush objects: creation, queries, copies and deletion.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/gdi_objects.h"
#include "platform/last_error.h"

namespace quorvel::platform {
namespace {

using Kind = QuorvelGdiObject::Kind;

bool is_bitmap(const QuorvelGdiObject* object) {
    return object != nullptr && object->kind != Kind::Brush;
}

// Checks a header as CreateDIBSection accepts it: 40 bytes, uncompressed, one plane.
bool acceptable_header(const BITMAPINFOHEADER& header) {
    return header.biSize == sizeof(BITMAPINFOHEADER) && header.biCompression == BI_RGB &&
           header.biPlanes == 1 && header.biHeight != INT32_MIN;
}

// Colour table of a new section: biClrUsed entries (2^bits when 0) from the caller's table.
void take_colours(QuorvelGdiObject& section, const BITMAPINFO& info) {
    const size_t table = section.colours.size();
    const size_t used =
        info.bmiHeader.biClrUsed == 0 ? table : std::min<size_t>(info.bmiHeader.biClrUsed, table);
    std::fill(section.colours.begin(), section.colours.end(), RGBQUAD{0, 0, 0, 0});
    std::memcpy(section.colours.data(), info.bmiColors, used * sizeof(RGBQUAD));
}

HBITMAP create_section(const BITMAPINFO& info, uint8_t* pixels = nullptr) {
    const BITMAPINFOHEADER& header = info.bmiHeader;
    const int32_t rows = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    QuorvelGdiObject* section =
        make_bitmap(Kind::DibSection, header.biWidth, rows, header.biBitCount, pixels);
    if (section == nullptr) {
        std::free(pixels);
        return nullptr;
    }
    section->top_down = header.biHeight < 0;
    if (header.biBitCount <= 8) take_colours(*section, info);
    section->header = header;
    section->header.biSizeImage = static_cast<DWORD>(section->bits.size());
    if (header.biBitCount <= 8 && header.biClrUsed > section->colours.size())
        section->header.biClrUsed = static_cast<DWORD>(section->colours.size());
    return add_object(section);
}

BITMAP bitmap_record(QuorvelGdiObject& bitmap) {
    BITMAP record{};
    record.bmType = 0;
    record.bmWidth = bitmap.width;
    record.bmHeight = bitmap.height;
    record.bmWidthBytes = static_cast<LONG>(bitmap.row_bytes);
    record.bmPlanes = 1;
    record.bmBitsPixel = bitmap.bits_per_pixel;
    // A device-dependent bitmap's bits are the device's: Win32 gives no pointer to them.
    record.bmBits = bitmap.kind == Kind::DibSection ? bitmap.bits.data() : nullptr;
    return record;
}

int describe_bitmap(QuorvelGdiObject& bitmap, int size, void* out) {
    const bool section = bitmap.kind == Kind::DibSection;
    if (out == nullptr) return section ? sizeof(DIBSECTION) : sizeof(BITMAP);
    if (section && size >= static_cast<int>(sizeof(DIBSECTION))) {
        DIBSECTION record{};
        record.dsBm = bitmap_record(bitmap);
        record.dsBmih = bitmap.header;
        std::memcpy(out, &record, sizeof record);
        return sizeof(DIBSECTION);
    }
    if (size >= static_cast<int>(sizeof(BITMAP))) {
        const BITMAP record = bitmap_record(bitmap);
        std::memcpy(out, &record, sizeof record);
        return sizeof(BITMAP);
    }
    set_last_error(EINVAL);
    return 0;
}

int describe_brush(const QuorvelGdiObject& brush, int size, void* out) {
    if (out == nullptr) return sizeof(LOGBRUSH);
    if (size < static_cast<int>(sizeof(LOGBRUSH))) {
        set_last_error(EINVAL);
        return 0;
    }
    const LOGBRUSH record{BS_SOLID, brush.colour, 0};
    std::memcpy(out, &record, sizeof record);
    return sizeof(LOGBRUSH);
}

// Copy as a DIB section of the source's depth and colours.
QuorvelGdiObject* copy_as_section(const QuorvelGdiObject& source) {
    QuorvelGdiObject* copy =
        make_bitmap(Kind::DibSection, source.width, source.height, source.bits_per_pixel);
    if (copy == nullptr) return nullptr;
    copy->colours = source.colours;
    if (source.kind == Kind::DibSection) {
        copy->top_down = source.top_down;
        copy->header = source.header;
        copy->bits = source.bits;
        return copy;
    }
    const size_t packed = (static_cast<size_t>(source.width) * source.bits_per_pixel + 7) / 8;
    for (int32_t y = 0; y < source.height; ++y)
        std::memcpy(row_from_top(*copy, y), row_from_top(source, y), packed);
    BITMAPINFOHEADER& header = copy->header;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = source.width;
    header.biHeight = source.height;
    header.biPlanes = 1;
    header.biBitCount = source.bits_per_pixel;
    header.biSizeImage = static_cast<DWORD>(copy->bits.size());
    return copy;
}

// Copy as a bitmap compatible with the screen: 32 bits per pixel.
QuorvelGdiObject* copy_as_compatible(const QuorvelGdiObject& source) {
    QuorvelGdiObject* copy = make_bitmap(Kind::DeviceBitmap, source.width, source.height, 32);
    if (copy == nullptr) return nullptr;
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* in = row_from_top(source, y);
        uint8_t* out = row_from_top(*copy, y);
        for (int32_t x = 0; x < source.width; ++x)
            write_pixel(out, x, 32, read_pixel(in, x, source.bits_per_pixel, source.colours));
    }
    return copy;
}

HANDLE copy_image(HANDLE image, UINT type, int width, int height, UINT flags) {
    QuorvelGdiObject* source = find_object(image);
    // Resampling is not offered: only a copy at the bitmap's own size.
    const bool size_ok = width >= 0 && height >= 0 && is_bitmap(source) &&
                         (width == 0 || width == source->width) &&
                         (height == 0 || height == source->height);
    if (type != IMAGE_BITMAP || !size_ok || (flags & LR_MONOCHROME) != 0) {
        set_last_error(EINVAL);
        return nullptr;
    }
    QuorvelGdiObject* copy =
        (flags & LR_CREATEDIBSECTION) != 0 ? copy_as_section(*source) : copy_as_compatible(*source);
    if (copy == nullptr) return nullptr;
    add_object(copy);
    if ((flags & LR_COPYDELETEORG) != 0 && !source->stock && source->selected_in == nullptr)
        remove_object(source);
    return copy;
}

}  // namespace

HBITMAP create_section_over(const BITMAPINFO& info, uint8_t* rows, size_t size) {
    return guarded<HBITMAP>(nullptr, [&]() -> HBITMAP {
        const BITMAPINFOHEADER& header = info.bmiHeader;
        const uint64_t height = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
        if (rows == nullptr || !acceptable_header(header) || header.biWidth <= 0 ||
            bitmap_row_bytes(Kind::DibSection, header.biWidth, header.biBitCount) * height !=
                size) {
            std::free(rows);
            set_last_error(EINVAL);
            return nullptr;
        }
        return create_section(info, rows);
    });
}

}  // namespace quorvel::platform

using namespace quorvel::platform;

extern "C" {

QUORVEL_GDI_API HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits,
                                         HANDLE section, DWORD) {
    if (bits != nullptr) *bits = nullptr;
    return guarded<HBITMAP>(nullptr, [&]() -> HBITMAP {
        if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr ||
            !acceptable_header(info->bmiHeader)) {
            set_last_error(EINVAL);
            return nullptr;
        }
        HBITMAP created = create_section(*info);
        if (created != nullptr && bits != nullptr) *bits = created->bits.data();
        return created;
    });
}

QUORVEL_GDI_API HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel,
                                     const void* bits) {
    return guarded<HBITMAP>(nullptr, [&]() -> HBITMAP {
        if (planes != 1 || bits_per_pixel > 32) {
            set_last_error(EINVAL);
            return nullptr;
        }
        QuorvelGdiObject* bitmap = make_bitmap(QuorvelGdiObject::Kind::DeviceBitmap, width, height,
                                               static_cast<int>(bits_per_pixel));
        if (bitmap == nullptr) return nullptr;
        // Rows come top-down, each padded to 2 bytes: the layout we keep.
        if (bits != nullptr) std::memcpy(bitmap->bits.data(), bits, bitmap->bits.size());
        return add_object(bitmap);
    });
}

QUORVEL_GDI_API HGDIOBJ CreateSolidBrush(COLORREF colour) {
    return guarded<HGDIOBJ>(nullptr, [&] {
        auto* brush = new QuorvelGdiObject;
        brush->kind = QuorvelGdiObject::Kind::Brush;
        brush->colour = colour & 0xFFFFFFu;
        return add_object(brush);
    });
}

QUORVEL_GDI_API int GetObjectA(HANDLE object, int size, LPVOID out) {
    return guarded(0, [&] {
        QuorvelGdiObject* found = find_object(object);
        if (found == nullptr || size < 0) {
            set_last_error(EINVAL);
            return 0;
        }
        if (found->kind == QuorvelGdiObject::Kind::Brush) return describe_brush(*found, size, out);
        return describe_bitmap(*found, size, out);
    });
}

QUORVEL_GDI_API BOOL DeleteObject(HGDIOBJ object) {
    return guarded<BOOL>(0, [&]() -> BOOL {
        QuorvelGdiObject* found = find_object(object);
        if (found == nullptr) {
            set_last_error(EINVAL);
            return 0;
        }
        if (found->stock) return 1;
        // As on Windows, a bitmap still selected into a context cannot be deleted.
        if (found->selected_in != nullptr) {
            set_last_error(EBUSY);
            return 0;
        }
        remove_object(found);
        return 1;
    });
}

QUORVEL_GDI_API HANDLE CopyImage(HANDLE image, UINT type, int width, int height, UINT flags) {
    return guarded<HANDLE>(nullptr, [&] { return copy_image(image, type, width, height, flags); });
}

}  // extern "C"
