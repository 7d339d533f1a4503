#include "raster/bridge.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/gdi_objects.h"

namespace quorvel::raster {
namespace {

// Room for a full colour table after the header, as Win32 reads biClrUsed entries there.
struct DibInfo {
    BITMAPINFO info;
    RGBQUAD more[255];
};

uint32_t dib_row_bytes(uint32_t width, uint32_t bits) {
    return static_cast<uint32_t>((static_cast<uint64_t>(width) * bits + 31) / 32 * 4);
}

uint32_t normalised_bits(uint32_t bits) {
    for (uint32_t depth : {1u, 4u, 8u, 16u, 24u, 32u})
        if (bits <= depth) return depth;
    return 8;
}

// A screen context for the duration of one bridge call.
class WindowContext {
public:
    WindowContext() : window_(GetForegroundWindow()), dc_(GetDC(window_)) {}
    ~WindowContext() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowContext(const WindowContext&) = delete;
    WindowContext& operator=(const WindowContext&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A memory context with a bitmap selected into it, for colour-table access.
class SelectedBitmap {
public:
    SelectedBitmap(HDC screen, HBITMAP bitmap) : dc_(CreateCompatibleDC(screen)) {
        if (dc_ != nullptr) previous_ = SelectObject(dc_, bitmap);
    }
    ~SelectedBitmap() {
        if (dc_ == nullptr) return;
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
    HDC get() const { return previous_ != nullptr ? dc_ : nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// A record the bridge can read without leaving its blocks: a known depth, pixels present and
// rows at least as long as the pixels they hold.
bool readable(const BMGImage& img) {
    if (img.pixels == nullptr || img.width == 0 || img.height == 0) return false;
    const uint32_t b = img.bitsPerPixel;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return false;
    return img.rowBytes >= (static_cast<uint64_t>(img.width) * b + 7) / 8;
}

bool has_palette(const BMGImage& img) {
    return img.bitsPerPixel <= 8 && img.palette != nullptr && img.paletteSize > 0 &&
           img.paletteEntryBytes >= 3;
}

// The record's palette as a colour table, after the transparent entry took the background.
std::vector<RGBQUAD> colour_table(BMGImage& img) {
    const size_t entry = img.paletteEntryBytes;
    if (img.transparentIndex >= 0 && img.transparentIndex < img.paletteSize) {
        uint8_t* slot = img.palette + entry * static_cast<size_t>(img.transparentIndex);
        slot[0] = BackgroundColour.blue;
        slot[1] = BackgroundColour.green;
        slot[2] = BackgroundColour.red;
    }
    std::vector<RGBQUAD> table(img.paletteSize);
    for (size_t i = 0; i < table.size(); ++i) {
        const uint8_t* p = img.palette + entry * i;
        table[i] = RGBQUAD{p[0], p[1], p[2], 0};
    }
    return table;
}

bool install_colours(HDC screen, HBITMAP section, BMGImage& img) {
    const std::vector<RGBQUAD> table = colour_table(img);
    SelectedBitmap selected(screen, section);
    if (selected.get() == nullptr) return false;
    return SetDIBColorTable(selected.get(), 0, img.paletteSize, table.data()) != 0;
}

void copy_into_section(const BMGImage& img, uint8_t* bits) {
    const uint32_t section_row = dib_row_bytes(img.width, img.bitsPerPixel);
    if (img.dibLayout != 0 && img.rowBytes == section_row) {
        std::memcpy(bits, img.pixels, static_cast<size_t>(section_row) * img.height);
        return;
    }
    const size_t length = std::min(img.rowBytes, section_row);
    for (uint32_t y = 0; y < img.height; ++y)
        std::memcpy(bits + static_cast<size_t>(y) * section_row,
                    img.pixels + static_cast<size_t>(y) * img.rowBytes, length);
}

void composite_over_background(uint8_t* bits, uint32_t width, uint32_t height) {
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i, bits += 4) {
        bits[0] = CompositeChannel(bits[0], bits[3], BackgroundColour.blue);
        bits[1] = CompositeChannel(bits[1], bits[3], BackgroundColour.green);
        bits[2] = CompositeChannel(bits[2], bits[3], BackgroundColour.red);
    }
}

BMGError fail_bitmap(BMGImage* img, BMGError code) {
    ReleaseImageRecord(img);
    return SetLastImageError(code);
}

// Where the pixels of a bitmap come from: a section's own rows, or a GetDIBits copy.
struct PixelSource {
    const uint8_t* bits = nullptr;
    uint32_t stride = 0;
    bool top_down = false;
    bool from_section = false;
    std::vector<uint8_t> buffer;
};

BMGError describe_section(const DIBSECTION& ds, BMGImage* img, PixelSource& source) {
    const BITMAPINFOHEADER& h = ds.dsBmih;
    if (ds.dsBm.bmBits == nullptr || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
        return BMG_ERR_BITMAP_HANDLE;
    img->width = static_cast<uint32_t>(h.biWidth);
    // A top-down section is read too: its rows are turned over while copying.
    img->height = static_cast<uint32_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
    img->bitsPerPixel = static_cast<uint8_t>(h.biBitCount);
    if (h.biBitCount <= 8 && h.biClrUsed != 0)
        img->paletteSize = static_cast<uint16_t>(std::min<DWORD>(h.biClrUsed, 1u << h.biBitCount));
    source.bits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    source.stride = static_cast<uint32_t>(ds.dsBm.bmWidthBytes);
    source.top_down = h.biHeight < 0;
    source.from_section = true;
    return BMG_OK;
}

BMGError fetch_device_bitmap(HBITMAP bitmap, BMGImage* img, PixelSource& source) {
    BITMAP bm{};
    if (GetObjectA(bitmap, sizeof(BITMAP), &bm) == 0) return BMG_ERR_WINDOWS_API;
    if (bm.bmBitsPixel <= 8) return BMG_ERR_BITS_PER_PIXEL;
    if (bm.bmWidth <= 0 || bm.bmHeight <= 0) return BMG_ERR_BITMAP_HANDLE;
    img->width = static_cast<uint32_t>(bm.bmWidth);
    img->height = static_cast<uint32_t>(bm.bmHeight);
    img->bitsPerPixel = static_cast<uint8_t>(bm.bmBitsPixel);
    BITMAPINFO info = FillBitmapInfoHeader(img->width, img->height, bm.bmBitsPixel, BI_RGB);
    source.stride = dib_row_bytes(img->width, bm.bmBitsPixel);
    try {
        source.buffer.assign(static_cast<size_t>(source.stride) * img->height, 0);
    } catch (...) {
        return BMG_ERR_NO_MEMORY;
    }
    WindowContext screen;
    if (GetDIBits(screen.get(), bitmap, 0, img->height, source.buffer.data(), &info,
                  DIB_RGB_COLORS) == 0)
        return BMG_ERR_WINDOWS_API;
    source.bits = source.buffer.data();
    return BMG_OK;
}

void copy_from_source(const PixelSource& source, BMGImage* img) {
    const size_t length = std::min(img->rowBytes, source.stride);
    for (uint32_t y = 0; y < img->height; ++y) {
        const uint32_t from = source.top_down ? img->height - 1 - y : y;
        std::memcpy(img->pixels + static_cast<size_t>(y) * img->rowBytes,
                    source.bits + static_cast<size_t>(from) * source.stride, length);
    }
}

void fix_alpha(BMGImage* img, bool from_section, bool uncomposite) {
    for (uint32_t y = 0; y < img->height; ++y) {
        uint8_t* p = img->pixels + static_cast<size_t>(y) * img->rowBytes;
        for (uint32_t x = 0; x < img->width; ++x, p += 4) {
            if (!from_section) {
                p[3] = 255;
            } else if (uncomposite) {
                p[0] = UncompositeChannel(p[0], p[3], BackgroundColour.blue);
                p[1] = UncompositeChannel(p[1], p[3], BackgroundColour.green);
                p[2] = UncompositeChannel(p[2], p[3], BackgroundColour.red);
            }
        }
    }
}

bool read_colours(HBITMAP bitmap, BMGImage* img) {
    WindowContext screen;
    SelectedBitmap selected(screen.get(), bitmap);
    if (selected.get() == nullptr) return false;
    return GetDIBColorTable(selected.get(), 0, img->paletteSize,
                            reinterpret_cast<RGBQUAD*>(img->palette)) != 0;
}

}  // namespace

BITMAPINFO FillBitmapInfoHeader(uint32_t width, uint32_t height, uint32_t bits_per_pixel,
                                uint32_t compression) {
    const uint32_t bits = normalised_bits(bits_per_pixel);
    BITMAPINFO info{};
    BITMAPINFOHEADER& h = info.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = static_cast<LONG>(width);
    h.biHeight = static_cast<LONG>(height);
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bits);
    h.biCompression = compression;
    h.biSizeImage = static_cast<DWORD>(static_cast<uint64_t>(dib_row_bytes(width, bits)) * height);
    h.biClrUsed = h.biClrImportant = bits <= 8 ? 1u << bits : 0;
    return info;
}

namespace {

// A section for the image, over its own pixel block when `take` is set and the block already
// has the section's layout; the record then no longer holds the block.
HBITMAP make_section(BMGImage& img, bool take, uint8_t*& bits) {
    DibInfo dib{};
    dib.info = FillBitmapInfoHeader(img.width, img.height, img.bitsPerPixel, BI_RGB);
    dib.info.bmiHeader.biClrUsed = dib.info.bmiHeader.biClrImportant = img.paletteSize;
    const uint32_t section_row = dib_row_bytes(img.width, img.bitsPerPixel);
    if (take && img.dibLayout != 0 && img.rowBytes == section_row) {
        bits = std::exchange(img.pixels, nullptr);
        return platform::create_section_over(dib.info, bits,
                                             static_cast<size_t>(section_row) * img.height);
    }
    void* section_bits = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, &dib.info, DIB_RGB_COLORS, &section_bits, nullptr, 0);
    if (section == nullptr || section_bits == nullptr) {
        if (section != nullptr) DeleteObject(section);
        return nullptr;
    }
    bits = static_cast<uint8_t*>(section_bits);
    copy_into_section(img, bits);
    return section;
}

HBITMAP bitmap_from_image(BMGImage& img, int composite_mode, bool take) {
    SetLastImageError(BMG_OK);
    if (!readable(img)) {
        SetLastImageError(BMG_ERR_IMAGE_POINTER);
        return nullptr;
    }
    uint8_t* bits = nullptr;
    HBITMAP section = make_section(img, take, bits);
    if (section == nullptr) {
        SetLastImageError(BMG_ERR_WINDOWS_API);
        return nullptr;
    }
    WindowContext screen;
    if (has_palette(img) && !install_colours(screen.get(), section, img)) {
        DeleteObject(section);
        SetLastImageError(BMG_ERR_WINDOWS_API);
        return nullptr;
    }
    if (img.bitsPerPixel == 32 && composite_mode == 1)
        composite_over_background(bits, img.width, img.height);
    return section;
}

}  // namespace

HBITMAP BitmapFromImage(BMGImage img, int composite_mode) {
    return bitmap_from_image(img, composite_mode, false);
}

HBITMAP BitmapTakingImage(BMGImage& img, int composite_mode) {
    return bitmap_from_image(img, composite_mode, true);
}

BMGError ImageFromBitmap(HBITMAP bitmap, BMGImage* img, int uncomposite) {
    SetLastImageError(BMG_OK);
    if (img == nullptr) return SetLastImageError(BMG_ERR_IMAGE_POINTER);
    if (bitmap == nullptr) return fail_bitmap(img, BMG_ERR_BITMAP_HANDLE);
    DIBSECTION ds{};
    const int answer = GetObjectA(bitmap, sizeof(DIBSECTION), &ds);
    if (answer == 0) return fail_bitmap(img, BMG_ERR_WINDOWS_API);
    img->dibLayout = 1;
    img->paletteSize = 0;
    img->paletteEntryBytes = 0;

    PixelSource source;
    BMGError status = BMG_ERR_BITMAP_HANDLE;
    if (answer == static_cast<int>(sizeof(DIBSECTION))) status = describe_section(ds, img, source);
    else if (answer == static_cast<int>(sizeof(BITMAP)))
        status = fetch_device_bitmap(bitmap, img, source);
    if (status != BMG_OK) return fail_bitmap(img, status);

    status = AllocateImageRecord(img);
    if (status != BMG_OK) return fail_bitmap(img, status);
    copy_from_source(source, img);
    if (img->bitsPerPixel == 32) fix_alpha(img, source.from_section, uncomposite != 0);
    if (img->bitsPerPixel <= 8 && !read_colours(bitmap, img))
        return fail_bitmap(img, BMG_ERR_WINDOWS_API);
    return BMG_OK;
}

}  // namespace quorvel::raster
