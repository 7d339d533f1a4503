#include "platform/gdi_objects.h"

#include <cerrno>
#include <new>
#include <unordered_set>

#include "platform/last_error.h"
#include "platform/limits.h"

namespace quorvel::platform {
namespace {

std::unordered_set<const void*>& objects() {
    static std::unordered_set<const void*> live;
    return live;
}

std::unordered_set<const void*>& dcs() {
    static std::unordered_set<const void*> live;
    return live;
}

uint64_t aligned_row_bytes(int32_t width, int bits, uint32_t alignment) {
    const uint64_t bytes = (static_cast<uint64_t>(width) * bits + 7) / 8;
    return (bytes + alignment - 1) / alignment * alignment;
}

}  // namespace

void set_gdi_error(DWORD code) { set_last_error(code); }

std::mutex& gdi_mutex() {
    static std::mutex mutex;
    return mutex;
}

QuorvelGdiObject* find_object(const void* handle) {
    if (handle == nullptr) return nullptr;
    if (handle == stock_bitmap()) return stock_bitmap();
    if (objects().count(handle) == 0) return nullptr;
    return static_cast<QuorvelGdiObject*>(const_cast<void*>(handle));
}

QuorvelDeviceContext* find_dc(const void* handle) {
    if (handle == nullptr || dcs().count(handle) == 0) return nullptr;
    return static_cast<QuorvelDeviceContext*>(const_cast<void*>(handle));
}

namespace {

// The registry owns what it holds: when it cannot grow (bad_alloc), the new object is freed
// before the exception goes on, since no caller has its handle yet.
template <typename T>
T* add_owned(std::unordered_set<const void*>& live, T* item) {
    try {
        live.insert(item);
    } catch (...) {
        delete item;
        throw;
    }
    return item;
}

}  // namespace

QuorvelGdiObject* add_object(QuorvelGdiObject* object) { return add_owned(objects(), object); }

QuorvelDeviceContext* add_dc(QuorvelDeviceContext* dc) { return add_owned(dcs(), dc); }

void remove_object(QuorvelGdiObject* object) {
    objects().erase(object);
    delete object;
}

void remove_dc(QuorvelDeviceContext* dc) {
    dcs().erase(dc);
    delete dc;
}

size_t live_object_count() {
    std::lock_guard lock(gdi_mutex());
    return objects().size();
}

size_t live_dc_count() {
    std::lock_guard lock(gdi_mutex());
    return dcs().size();
}

QuorvelGdiObject* stock_bitmap() {
    static QuorvelGdiObject* stock = [] {
        auto* object = new QuorvelGdiObject;
        object->kind = QuorvelGdiObject::Kind::DeviceBitmap;
        object->width = object->height = 1;
        object->bits_per_pixel = 1;
        object->row_bytes = 2;
        object->bits.assign_zeroed(2);
        object->colours = default_colours(1);
        object->stock = true;
        return object;
    }();
    return stock;
}

QuorvelWindow* desktop_window() {
    static QuorvelWindow window{1};
    return &window;
}

bool valid_bitmap_depth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

uint64_t bitmap_row_bytes(QuorvelGdiObject::Kind kind, int32_t width, int bits_per_pixel) {
    const uint32_t alignment = kind == QuorvelGdiObject::Kind::DibSection ? 4 : 2;
    return aligned_row_bytes(width, bits_per_pixel, alignment);
}

QuorvelGdiObject* make_bitmap(QuorvelGdiObject::Kind kind, int32_t width, int32_t height,
                              int bits_per_pixel, uint8_t* rows) {
    if (width <= 0 || height <= 0 || !valid_bitmap_depth(bits_per_pixel)) {
        set_last_error(EINVAL);
        return nullptr;
    }
    const uint64_t row = bitmap_row_bytes(kind, width, bits_per_pixel);
    const uint64_t bytes = row * static_cast<uint64_t>(height);
    // Hosts may make bitmaps of any shape; only their memory counts against the load limits.
    if (bytes > kMaxBlockBytes || !within_load_limits(1, 1, bytes)) {
        set_last_error(ENOMEM);
        return nullptr;
    }
    auto* bitmap = new (std::nothrow) QuorvelGdiObject;
    if (bitmap == nullptr) {
        set_last_error(ENOMEM);
        return nullptr;
    }
    bitmap->kind = kind;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bits_per_pixel = static_cast<uint16_t>(bits_per_pixel);
    bitmap->row_bytes = static_cast<uint32_t>(row);
    try {
        if (bits_per_pixel <= 8) bitmap->colours = default_colours(bits_per_pixel);
        if (rows == nullptr) bitmap->bits.assign_zeroed(row * height);
    } catch (const std::bad_alloc&) {
        delete bitmap;
        set_last_error(ENOMEM);
        return nullptr;
    }
    if (rows != nullptr) bitmap->bits.adopt(rows, row * height);
    return bitmap;
}

std::vector<RGBQUAD> default_colours(int bits_per_pixel) {
    const int count = 1 << bits_per_pixel;
    std::vector<RGBQUAD> colours(count);
    for (int i = 0; i < count; ++i) {
        const auto level = static_cast<BYTE>(i * 255 / (count - 1));
        colours[i] = RGBQUAD{level, level, level, 0};
    }
    return colours;
}

uint8_t* row_from_top(QuorvelGdiObject& bitmap, int32_t y) {
    // DIB sections store bottom-up unless created top-down; our DDBs store top-down.
    const bool stored_top_down =
        bitmap.kind == QuorvelGdiObject::Kind::DeviceBitmap || bitmap.top_down;
    const int32_t stored = stored_top_down ? y : bitmap.height - 1 - y;
    return bitmap.bits.data() + static_cast<size_t>(stored) * bitmap.row_bytes;
}

const uint8_t* row_from_top(const QuorvelGdiObject& bitmap, int32_t y) {
    return row_from_top(const_cast<QuorvelGdiObject&>(bitmap), y);
}

RGBQUAD read_pixel(const uint8_t* row, int32_t x, int bits_per_pixel,
                   const std::vector<RGBQUAD>& colours) {
    unsigned index = 0;
    switch (bits_per_pixel) {
        case 1:
            index = (row[x / 8] >> (7 - x % 8)) & 1;
            break;
        case 4:
            index = (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 15;
            break;
        case 8:
            index = row[x];
            break;
        case 16: {
            const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            const auto widen = [](unsigned five) {
                return static_cast<BYTE>((five << 3) | (five >> 2));
            };
            return RGBQUAD{widen(v & 31), widen((v >> 5) & 31), widen((v >> 10) & 31), 0};
        }
        case 24:
            return RGBQUAD{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
        default:
            return RGBQUAD{row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
    }
    return index < colours.size() ? colours[index] : RGBQUAD{0, 0, 0, 0};
}

void write_pixel(uint8_t* row, int32_t x, int bits_per_pixel, RGBQUAD colour) {
    switch (bits_per_pixel) {
        case 16: {
            const unsigned v = (colour.rgbBlue >> 3) | ((colour.rgbGreen >> 3) << 5) |
                               ((colour.rgbRed >> 3) << 10);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case 24:
            row[3 * x] = colour.rgbBlue;
            row[3 * x + 1] = colour.rgbGreen;
            row[3 * x + 2] = colour.rgbRed;
            break;
        case 32:
            row[4 * x] = colour.rgbBlue;
            row[4 * x + 1] = colour.rgbGreen;
            row[4 * x + 2] = colour.rgbRed;
            row[4 * x + 3] = colour.rgbReserved;
            break;
        default:
            break;
    }
}

}  // namespace quorvel::platform
