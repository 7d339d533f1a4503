#include "toolkit/bitmap.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

#include "platform/gdi_objects.h"
#include "platform/limits.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

using platform::gdi_mutex;
using Kind = QuorvelGdiObject::Kind;

// A section of the given shape, registered so that its handle is valid for hosts.
// Pictures the toolkit's readers and conversions size: the load limits' pixel count holds too.
QuorvelGdiObject* new_section(int width, int height, int bits) {
    if (!platform::within_load_limits(width, height, 0))
        throw EInvalidGraphic("Out of system resources");
    QuorvelGdiObject* object = platform::make_bitmap(Kind::DibSection, width, height, bits);
    if (object == nullptr) throw EInvalidGraphic("Out of system resources");
    BITMAPINFOHEADER& header = object->header;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biSizeImage = static_cast<DWORD>(object->bits.size());
    std::lock_guard lock(gdi_mutex());
    return platform::add_object(object);
}

// Frees an object we own, unless the host already deleted it; a bitmap a host left selected
// in a context is replaced there by the stock bitmap first.
void free_object(QuorvelGdiObject* object) {
    if (object == nullptr) return;
    std::lock_guard lock(gdi_mutex());
    if (platform::find_object(object) != object) return;
    if (object->selected_in != nullptr) object->selected_in->bitmap = platform::stock_bitmap();
    platform::remove_object(object);
}

int squared_distance(RGBQUAD a, RGBQUAD b) {
    const int db = a.rgbBlue - b.rgbBlue, dg = a.rgbGreen - b.rgbGreen, dr = a.rgbRed - b.rgbRed;
    return db * db + dg * dg + dr * dr;
}

unsigned nearest_index(RGBQUAD colour, const std::vector<RGBQUAD>& table) {
    unsigned best = 0;
    int best_distance = INT_MAX;
    for (unsigned i = 0; i < table.size(); ++i) {
        const int d = squared_distance(colour, table[i]);
        if (d < best_distance) best = i, best_distance = d;
    }
    return best;
}

void write_index(uint8_t* row, int x, int bits, unsigned index) {
    if (bits == 8) {
        row[x] = static_cast<uint8_t>(index);
    } else if (bits == 4) {
        const int shift = x % 2 == 0 ? 4 : 0;
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & ~(15 << shift)) | ((index & 15) << shift));
    } else {
        const int shift = 7 - x % 8;
        row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(1 << shift)) | ((index & 1) << shift));
    }
}

unsigned read_index(const uint8_t* row, int x, int bits) {
    if (bits == 8) return row[x];
    if (bits == 4) return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

// Copies every pixel of `from` into `to` (same size), converting between depths.
void convert_pixels(const QuorvelGdiObject& from, QuorvelGdiObject& to) {
    const int in_bits = from.bits_per_pixel, out_bits = to.bits_per_pixel;
    const bool keep_indexes = in_bits <= 8 && out_bits <= 8 && in_bits <= out_bits;
    for (int y = 0; y < from.height; ++y) {
        const uint8_t* in = platform::row_from_top(from, y);
        uint8_t* out = platform::row_from_top(to, y);
        for (int x = 0; x < from.width; ++x) {
            if (keep_indexes) {
                write_index(out, x, out_bits, read_index(in, x, in_bits));
                continue;
            }
            const RGBQUAD colour = platform::read_pixel(in, x, in_bits, from.colours);
            if (out_bits <= 8) write_index(out, x, out_bits, nearest_index(colour, to.colours));
            else platform::write_pixel(out, x, out_bits, colour);
        }
    }
}

// Bits a pixel of each format takes in storage, both ways: where two formats share a width, the
// first listed is the one a width stands for.
struct FormatBits {
    PixelFormat format;
    int bits;
};
constexpr FormatBits kFormatBits[] = {
    {PixelFormat::Bit1, 1},   {PixelFormat::Bit4, 4},    {PixelFormat::Bit8, 8},
    {PixelFormat::Bit15, 16}, {PixelFormat::Bit16, 16},  {PixelFormat::Bit24, 24},
    {PixelFormat::Bit32, 32}, {PixelFormat::Device, 32},
};

}  // namespace

int storage_bits(PixelFormat format) {
    for (const FormatBits& entry : kFormatBits)
        if (entry.format == format) return entry.bits;
    return 0;  // Custom
}

PixelFormat format_for_bits(int bits) {
    for (const FormatBits& entry : kFormatBits)
        if (entry.bits == bits) return entry.format;
    return PixelFormat::Custom;
}

Bitmap::~Bitmap() { free_object(object_); }

void Bitmap::adopt(QuorvelGdiObject* object, PixelFormat format) {
    if (object != object_) free_object(object_);
    object_ = object;
    format_ = format;
    width_ = object != nullptr ? object->width : 0;
    height_ = object != nullptr ? object->height : 0;
}

void Bitmap::set_pixel_format(PixelFormat format) {
    if (object_ == nullptr || format == format_) {
        format_ = format;
        return;
    }
    const int bits = storage_bits(format);
    if (bits == 0) {
        adopt(nullptr, format);
        return;
    }
    if (bits == object_->bits_per_pixel) {
        format_ = format;
        return;
    }
    QuorvelGdiObject* converted = new_section(width_, height_, bits);
    convert_pixels(*object_, *converted);
    adopt(converted, format);
}

void Bitmap::set_size(int width, int height) {
    const int bits = storage_bits(format_);
    if (width <= 0 || height <= 0 || bits == 0) {
        std::vector<RGBQUAD> keep = palette();
        adopt(nullptr, format_);
        if (!keep.empty()) pending_palette_ = std::move(keep);
        width_ = std::max(width, 0);
        height_ = std::max(height, 0);
        return;
    }
    std::vector<RGBQUAD> colours = object_ != nullptr ? palette() : pending_palette_;
    adopt(new_section(width, height, bits), format_);
    pending_palette_.clear();
    if (!colours.empty()) set_palette(colours);
}

uint8_t* Bitmap::scanline(int y) {
    if (object_ == nullptr || y < 0 || y >= height_)
        throw EInvalidGraphic("Scan line index out of range");
    return platform::row_from_top(*object_, y);
}

const uint8_t* Bitmap::scanline(int y) const { return const_cast<Bitmap*>(this)->scanline(y); }

size_t Bitmap::row_bytes() const { return object_ != nullptr ? object_->row_bytes : 0; }

std::vector<RGBQUAD> Bitmap::palette() const {
    return object_ != nullptr ? object_->colours : pending_palette_;
}

void Bitmap::set_palette(const std::vector<RGBQUAD>& colours) {
    if (object_ == nullptr) {
        pending_palette_ = colours;
        return;
    }
    std::vector<RGBQUAD>& table = object_->colours;
    std::copy_n(colours.begin(), std::min(colours.size(), table.size()), table.begin());
}

void Bitmap::assign_handle(HBITMAP bitmap) {
    QuorvelGdiObject* object = nullptr;
    {
        std::lock_guard lock(gdi_mutex());
        object = platform::find_object(bitmap);
        if (object != nullptr && (object->kind == Kind::Brush || object->stock)) object = nullptr;
    }
    if (object == nullptr) {
        adopt(nullptr, format_);
        return;
    }
    const PixelFormat format = object->kind == Kind::DeviceBitmap
                                   ? PixelFormat::Device
                                   : format_for_bits(object->bits_per_pixel);
    adopt(object, format);
}

HBITMAP Bitmap::release_handle() {
    QuorvelGdiObject* object = object_;
    object_ = nullptr;
    width_ = height_ = 0;
    return object;
}

void Bitmap::release_image() { adopt(nullptr, format_); }

void Bitmap::assign(const Graphic& picture) {
    if (&picture == this) return;
    if (const auto* other = dynamic_cast<const Bitmap*>(&picture)) {
        if (other->object_ == nullptr) {
            adopt(nullptr, other->format_);
            pending_palette_ = other->pending_palette_;
            return;
        }
        QuorvelGdiObject* copy =
            new_section(other->width_, other->height_, other->object_->bits_per_pixel);
        copy->colours = other->object_->colours;
        if (other->object_->kind == Kind::DibSection && other->object_->top_down == copy->top_down)
            copy->bits = other->object_->bits;
        else convert_pixels(*other->object_, *copy);
        adopt(copy, other->format_);
        return;
    }
    format_ = PixelFormat::Bit24;
    set_size(picture.width(), picture.height());
    if (!empty()) picture.draw(*this);
}

void Bitmap::take(Graphic& picture) {
    auto* other = dynamic_cast<Bitmap*>(&picture);
    // Only a bottom-up section is exactly what assign's copy would be.
    if (other == nullptr || other == this || other->object_ == nullptr ||
        other->object_->kind != Kind::DibSection || other->object_->top_down) {
        assign(picture);
        return;
    }
    const PixelFormat format = other->format_;
    adopt(static_cast<QuorvelGdiObject*>(other->release_handle()), format);
}

void Bitmap::draw(Bitmap& target) const {
    if (object_ == nullptr || target.object_ == nullptr) return;
    const int w = std::min(width_, target.width_), h = std::min(height_, target.height_);
    const int in_bits = object_->bits_per_pixel, out_bits = target.object_->bits_per_pixel;
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = scanline(y);
        uint8_t* out = target.scanline(y);
        for (int x = 0; x < w; ++x) {
            const RGBQUAD colour = platform::read_pixel(in, x, in_bits, object_->colours);
            if (out_bits <= 8)
                write_index(out, x, out_bits, nearest_index(colour, target.object_->colours));
            else platform::write_pixel(out, x, out_bits, colour);
        }
    }
}

}  // namespace quorvel::toolkit
