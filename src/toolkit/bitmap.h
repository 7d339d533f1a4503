// The toolkit bitmap: a picture with a pixel format, a palette and row access, stored in one
// of our GDI DIB sections so that its handle can go to a host as it is. Readers fill it row by
// row; the load entry point converts it to 24 bits and hands out its handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <quorvel/wingdi.h>

#include "toolkit/graphic.h"

namespace quorvel::toolkit {

// Device is the screen's format (32 bits here); Bit15 and Bit16 are both stored as 16-bit
// 5-5-5 pixels; Custom has no standard layout and holds no pixels.
enum class PixelFormat { Device, Bit1, Bit4, Bit8, Bit15, Bit16, Bit24, Bit32, Custom };

// Bits a stored pixel takes (0 for Custom).
int storage_bits(PixelFormat format);
// The format that stores pixels of `bits` bits (1, 4, 8, 16, 24, 32), Custom otherwise.
PixelFormat format_for_bits(int bits);

class Bitmap : public Graphic {
public:
    Bitmap() = default;
    ~Bitmap() override;

    PixelFormat pixel_format() const { return format_; }
    // Changes the format; an image there is converted (indexes re-packed, colours through the
    // palette, colours to an indexed format by the nearest palette entry). An empty bitmap
    // only records the format.
    void set_pixel_format(PixelFormat format);

    int width() const override { return width_; }
    int height() const override { return height_; }
    bool empty() const override { return object_ == nullptr; }
    // New, zeroed rows of the current format; a side of 0 (or a Custom format) empties the
    // bitmap. Throws EInvalidGraphic when the size cannot be held.
    void set_size(int width, int height);
    void set_width(int width) { set_size(width, height_); }
    void set_height(int height) { set_size(width_, height); }

    // Row `y` counted from the top; throws EInvalidGraphic outside the image.
    uint8_t* scanline(int y);
    const uint8_t* scanline(int y) const;
    // Bytes of a stored row (4-byte aligned); 0 when empty.
    size_t row_bytes() const;

    // The colour table of an indexed format (2^bits entries once the image exists).
    std::vector<RGBQUAD> palette() const;
    // Sets entries 0..n-1; entries the format cannot index are ignored. An empty bitmap keeps
    // the table for its next image.
    void set_palette(const std::vector<RGBQUAD>& colours);

    // The handle of the image (null when empty). It stays the bitmap's.
    HBITMAP handle() const { return object_; }
    // Takes over a bitmap handle (null or an unknown handle empties the bitmap); the format
    // follows the handle's depth.
    void assign_handle(HBITMAP bitmap);
    // Gives the handle up: the caller owns it and the bitmap is empty.
    HBITMAP release_handle();
    // Drops the image; the format stays.
    void release_image();

    // Takes a copy of another picture: a bitmap's pixels and format as they are; any other
    // picture drawn onto a new image of its size at 24 bits per pixel.
    void assign(const Graphic& picture);
    // What assign(picture) gives, but a bitmap's DIB section moves over instead of being
    // copied, leaving `picture` empty.
    void take(Graphic& picture);

    // Reads a Windows bitmap file (BMP, DIB, RLE).
    void LoadFromStream(Stream& stream) override;
    // Writes the image as a Windows bitmap file of its depth.
    std::vector<uint8_t> save_to_memory() const;

    void draw(Bitmap& target) const override;

private:
    void adopt(QuorvelGdiObject* object, PixelFormat format);
    QuorvelGdiObject* object() const { return object_; }

    PixelFormat format_ = PixelFormat::Device;
    int width_ = 0;
    int height_ = 0;
    std::vector<RGBQUAD> pending_palette_;  // a palette set while empty
    QuorvelGdiObject* object_ = nullptr;
};

}  // namespace quorvel::toolkit
