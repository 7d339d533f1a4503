#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <quorvel/wingdi.h>

#include "platform/gdi_objects.h"

namespace {

struct DibInfo {
    BITMAPINFO info;
    RGBQUAD more[255];
};

DibInfo header(LONG width, LONG height, WORD bits) {
    DibInfo dib{};
    dib.info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    dib.info.bmiHeader.biWidth = width;
    dib.info.bmiHeader.biHeight = height;
    dib.info.bmiHeader.biPlanes = 1;
    dib.info.bmiHeader.biBitCount = bits;
    return dib;
}

HBITMAP section(LONG width, LONG height, WORD bits, uint8_t** pixels = nullptr) {
    DibInfo dib = header(width, height, bits);
    void* out = nullptr;
    HBITMAP made = CreateDIBSection(nullptr, &dib.info, DIB_RGB_COLORS, &out, nullptr, 0);
    if (pixels != nullptr) *pixels = static_cast<uint8_t*>(out);
    return made;
}

// Reads all rows of a bitmap as a bottom-up DIB of the given depth through a screen context;
// returns the number of rows GetDIBits copied.
int read_rows(HBITMAP bmp, LONG width, LONG height, WORD bits, uint8_t* out) {
    HDC dc = GetDC(nullptr);
    DibInfo want = header(width, height, bits);
    const int rows = GetDIBits(dc, bmp, 0, height, out, &want.info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return rows;
}

// Counts live objects and contexts at start and checks nothing leaked at the end.
class Gdi : public ::testing::Test {
protected:
    void SetUp() override {
        objects_ = quorvel::platform::live_object_count();
        dcs_ = quorvel::platform::live_dc_count();
    }
    void TearDown() override {
        EXPECT_EQ(quorvel::platform::live_object_count(), objects_);
        EXPECT_EQ(quorvel::platform::live_dc_count(), dcs_);
    }

private:
    size_t objects_ = 0, dcs_ = 0;
};

TEST_F(Gdi, DibSectionAnswersItsRecord) {
    uint8_t* bits = nullptr;
    HBITMAP bmp = section(3, 2, 24, &bits);
    ASSERT_NE(bmp, nullptr);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(GetObjectA(bmp, 0, nullptr), static_cast<int>(sizeof(DIBSECTION)));
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(bmp, sizeof ds, &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmWidth, 3);
    EXPECT_EQ(ds.dsBm.bmHeight, 2);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 24u);
    EXPECT_EQ(ds.dsBmih.biHeight, 2);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(bits[i], 0);
    // Room for a BITMAP only: the BITMAP part.
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(bmp, sizeof bm, &bm), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_EQ(GetObjectA(bmp, sizeof bm - 1, &bm), 0);
    EXPECT_EQ(GetObjectA(bmp, -5, &bm), 0);
    EXPECT_TRUE(DeleteObject(bmp));
}

TEST_F(Gdi, DibSectionRejectsWhatItCannotHold) {
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    const struct {
        LONG w, h;
        WORD bits;
    } bad[] = {{0, 4, 24},
               {-3, 4, 24},
               {4, 0, 24},
               {4, 4, 2},
               {4, 4, 0},
               {4, 4, 64},
               {1 << 20, 1 << 20, 32},
               {4, INT32_MIN, 24},
               {0x7FFFFFFF, 1, 32},
               {(1 << 30) + 1, 1, 32} /* row of 2^32 + 4 bytes: must not wrap to 4 */};
    for (const auto& b : bad) {
        DibInfo dib = header(b.w, b.h, b.bits);
        SetLastError(0);
        EXPECT_EQ(CreateDIBSection(nullptr, &dib.info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr)
            << b.w << "x" << b.h << "x" << b.bits;
        EXPECT_NE(GetLastError(), 0u);
    }
    DibInfo compressed = header(4, 4, 8);
    compressed.info.bmiHeader.biCompression = 1;
    EXPECT_EQ(CreateDIBSection(nullptr, &compressed.info, DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    DibInfo core = header(4, 4, 8);
    core.info.bmiHeader.biSize = 12;
    EXPECT_EQ(CreateDIBSection(nullptr, &core.info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    DibInfo fine = header(4, 4, 8);
    EXPECT_EQ(CreateDIBSection(nullptr, &fine.info, DIB_PAL_COLORS, &bits, nullptr, 0), nullptr);
}

// The block becomes the section's pixels as they are; a block that is not the section's size,
// or a shape no section takes, is freed (the sanitizer run would report a leak) and fails.
TEST_F(Gdi, SectionOverABlockTakesItOrFreesIt) {
    using quorvel::platform::create_section_over;
    const auto filled = [](size_t size) {
        auto* block = static_cast<uint8_t*>(std::malloc(size));
        for (size_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
        return block;
    };
    DibInfo dib = header(3, 2, 24);
    uint8_t* block = filled(24);
    HBITMAP bmp = create_section_over(dib.info, block, 24);
    ASSERT_NE(bmp, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(bmp, sizeof ds, &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmBits, block);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 24u);
    for (size_t i = 0; i < 24; ++i) EXPECT_EQ(block[i], static_cast<uint8_t>(i * 7 + 1));
    EXPECT_TRUE(DeleteObject(bmp));

    const struct {
        LONG w, h;
        WORD bits;
        size_t size;
    } refused[] = {{3, 2, 24, 23}, {3, 2, 24, 25}, {3, -2, 24, 18}, {0, 2, 24, 8}, {4, 4, 2, 16}};
    for (const auto& r : refused) {
        DibInfo shape = header(r.w, r.h, r.bits);
        SetLastError(0);
        EXPECT_EQ(create_section_over(shape.info, filled(r.size), r.size), nullptr)
            << r.w << "x" << r.h << "x" << r.bits << ", " << r.size << " bytes";
        EXPECT_NE(GetLastError(), 0u);
    }
}

TEST_F(Gdi, SectionColourTableComesFromTheHeaderAndTheContext) {
    DibInfo dib = header(2, 2, 4);
    dib.info.bmiHeader.biClrUsed = 3;
    dib.info.bmiColors[0] = {1, 2, 3, 0};
    dib.more[0] = {4, 5, 6, 0};
    dib.more[1] = {7, 8, 9, 0};
    dib.more[2] = {99, 99, 99, 0};  // beyond biClrUsed: not taken
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &dib.info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    ASSERT_NE(old, nullptr);
    RGBQUAD got[16] = {};
    ASSERT_EQ(GetDIBColorTable(dc, 0, 16, got), 16u);
    EXPECT_EQ(got[1].rgbRed, 6);
    EXPECT_EQ(got[2].rgbBlue, 7);
    EXPECT_EQ(got[3].rgbBlue, 0);
    const RGBQUAD set[2] = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    EXPECT_EQ(SetDIBColorTable(dc, 14, 5, set), 2u);  // clipped to the table
    EXPECT_EQ(SetDIBColorTable(dc, 16, 1, set), 0u);
    EXPECT_EQ(SetDIBColorTable(dc, 0, 1, nullptr), 0u);
    ASSERT_EQ(GetDIBColorTable(dc, 15, 1, got), 1u);
    EXPECT_EQ(got[0].rgbRed, 60);
    // A selected bitmap cannot be deleted nor selected elsewhere.
    EXPECT_FALSE(DeleteObject(bmp));
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bmp), nullptr);
    EXPECT_EQ(SelectObject(dc, old), bmp);
    EXPECT_EQ(GetDIBColorTable(dc, 0, 1, got), 0u);  // the stock bitmap has no DIB table
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bmp));
}

TEST_F(Gdi, DeletingAContextFreesItsBitmap) {
    HBITMAP bmp = section(8, 8, 8);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(SelectObject(dc, bmp), nullptr);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bmp));
}

TEST_F(Gdi, StaleForeignAndWrongKindHandlesFail) {
    HBITMAP bmp = section(2, 2, 24);
    ASSERT_TRUE(DeleteObject(bmp));
    DIBSECTION ds{};
    EXPECT_EQ(GetObjectA(bmp, sizeof ds, &ds), 0);
    EXPECT_FALSE(DeleteObject(bmp));
    int not_an_object = 0;
    EXPECT_EQ(GetObjectA(&not_an_object, sizeof ds, &ds), 0);
    EXPECT_EQ(GetObjectA(nullptr, sizeof ds, &ds), 0);
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(&not_an_object), bmp), nullptr);
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(&not_an_object)), nullptr);
    EXPECT_EQ(ReleaseDC(nullptr, reinterpret_cast<HDC>(&not_an_object)), 0);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(&not_an_object)), nullptr);

    HGDIOBJ brush = CreateSolidBrush(0x123456);
    ASSERT_NE(brush, nullptr);
    LOGBRUSH lb{};
    EXPECT_EQ(GetObjectA(brush, sizeof(DIBSECTION), &lb), static_cast<int>(sizeof(LOGBRUSH)));
    EXPECT_EQ(lb.lbColor, 0x123456u);
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(dc, brush), nullptr);
    EXPECT_EQ(CopyImage(brush, IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(brush));
}

TEST_F(Gdi, WindowContextsComeAndGo) {
    HWND window = GetForegroundWindow();
    ASSERT_NE(window, nullptr);
    HDC a = GetDC(window);
    HDC b = GetDC(nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    HBITMAP bmp = section(2, 2, 24);
    EXPECT_EQ(SelectObject(a, bmp), nullptr);  // only memory contexts take bitmaps
    EXPECT_FALSE(DeleteDC(a));                 // window contexts are released, not deleted
    EXPECT_EQ(ReleaseDC(window, a), 1);
    EXPECT_EQ(ReleaseDC(window, a), 0);
    EXPECT_EQ(ReleaseDC(nullptr, b), 1);
    EXPECT_TRUE(DeleteObject(bmp));
}

TEST_F(Gdi, DeviceBitmapsKeepTheirBitsPrivate) {
    // 3 pixels of 24 bits: 9 bytes, word-aligned to 10 per row, rows top-down.
    std::vector<uint8_t> rows(20, 0);
    for (int i = 0; i < 9; ++i) rows[i] = static_cast<uint8_t>(i + 1);         // top row
    for (int i = 0; i < 9; ++i) rows[10 + i] = static_cast<uint8_t>(100 + i);  // bottom row
    HBITMAP ddb = CreateBitmap(3, 2, 1, 24, rows.data());
    ASSERT_NE(ddb, nullptr);
    EXPECT_EQ(GetObjectA(ddb, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(ddb, sizeof ds, &ds), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 10);
    EXPECT_EQ(ds.dsBm.bmBits, nullptr);

    HDC dc = GetDC(nullptr);
    DibInfo dib = header(0, 0, 0);
    ASSERT_NE(GetDIBits(dc, ddb, 0, 2, nullptr, &dib.info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(dib.info.bmiHeader.biWidth, 3);
    EXPECT_EQ(dib.info.bmiHeader.biHeight, 2);
    EXPECT_EQ(dib.info.bmiHeader.biBitCount, 24);
    EXPECT_EQ(dib.info.bmiHeader.biSizeImage, 24u);
    std::vector<uint8_t> out(24, 0xEE);
    ASSERT_EQ(GetDIBits(dc, ddb, 0, 2, out.data(), &dib.info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(out[0], 100);  // bottom row first, 4-byte aligned
    EXPECT_EQ(out[8], 108);
    EXPECT_EQ(out[9], 0);
    EXPECT_EQ(out[12], 1);
    // Asking for 32 bits converts; a top-down request turns the rows.
    dib.info.bmiHeader.biBitCount = 32;
    dib.info.bmiHeader.biHeight = -2;
    std::vector<uint8_t> wide(24, 0xEE);
    ASSERT_EQ(GetDIBits(dc, ddb, 0, 2, wide.data(), &dib.info, DIB_RGB_COLORS), 2);
    EXPECT_EQ((std::vector<uint8_t>(wide.begin(), wide.begin() + 8)),
              (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
    // Partial and out-of-range line requests.
    dib.info.bmiHeader.biHeight = 2;
    EXPECT_EQ(GetDIBits(dc, ddb, 1, 5, wide.data(), &dib.info, DIB_RGB_COLORS), 1);
    EXPECT_EQ(wide[0], 1);
    EXPECT_EQ(GetDIBits(dc, ddb, 2, 1, wide.data(), &dib.info, DIB_RGB_COLORS), 0);
    // Wrong sizes, depths or contexts are refused.
    dib.info.bmiHeader.biWidth = 4;
    EXPECT_EQ(GetDIBits(dc, ddb, 0, 2, wide.data(), &dib.info, DIB_RGB_COLORS), 0);
    dib.info.bmiHeader.biWidth = 3;
    dib.info.bmiHeader.biBitCount = 8;
    EXPECT_EQ(GetDIBits(dc, ddb, 0, 2, wide.data(), &dib.info, DIB_RGB_COLORS), 0);
    dib.info.bmiHeader.biBitCount = 24;
    EXPECT_EQ(GetDIBits(nullptr, ddb, 0, 2, wide.data(), &dib.info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(GetDIBits(dc, ddb, 0, 2, wide.data(), nullptr, DIB_RGB_COLORS), 0);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
    EXPECT_TRUE(DeleteObject(ddb));

    EXPECT_EQ(CreateBitmap(3, 2, 2, 24, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(3, -2, 1, 24, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(3, 2, 1, 0xFFFFFFFFu, nullptr), nullptr);
}

// A 1-bit bitmap can hold rows that would not fit a LONG once widened to 32 bits.
TEST_F(Gdi, GetDIBitsRefusesRowsBeyondTheSizeField) {
    HBITMAP wide = section(1 << 20, 520, 1);
    ASSERT_NE(wide, nullptr);
    HDC dc = GetDC(nullptr);
    DibInfo want = header(1 << 20, 520, 32);
    uint8_t sink[4] = {};
    EXPECT_EQ(GetDIBits(dc, wide, 0, 1, sink, &want.info, DIB_RGB_COLORS), 0);
    want.info.bmiHeader.biBitCount = 0;
    EXPECT_NE(GetDIBits(dc, wide, 0, 1, nullptr, &want.info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(want.info.bmiHeader.biBitCount, 1);
    want.info.bmiHeader.biBitCount = 32;
    EXPECT_EQ(GetDIBits(dc, wide, 0, 1, nullptr, &want.info, DIB_RGB_COLORS), 0);
    ReleaseDC(nullptr, dc);
    DeleteObject(wide);
}

TEST_F(Gdi, GetDIBitsWidensRgb555) {
    uint8_t* bits = nullptr;
    HBITMAP bmp = section(1, 1, 16, &bits);
    bits[0] = 0x1F;  // blue 31
    bits[1] = 0x7C;  // red 31
    uint8_t out[4] = {};
    ASSERT_EQ(read_rows(bmp, 1, 1, 24, out), 1);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 255);
    DeleteObject(bmp);
}

TEST_F(Gdi, CopyImageMakesIndependentCopies) {
    DibInfo dib = header(2, 2, 8);
    dib.info.bmiHeader.biClrUsed = 2;
    dib.info.bmiColors[0] = {0, 0, 0, 0};
    dib.more[0] = {10, 20, 30, 0};
    void* raw = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &dib.info, DIB_RGB_COLORS, &raw, nullptr, 0);
    auto* bits = static_cast<uint8_t*>(raw);
    bits[0] = 1;  // bottom-left pixel: colour 1

    auto* copy = static_cast<HBITMAP>(CopyImage(bmp, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(copy, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(copy, sizeof ds, &ds), static_cast<int>(sizeof(DIBSECTION)));
    auto* copied = static_cast<uint8_t*>(ds.dsBm.bmBits);
    EXPECT_NE(copied, bits);
    bits[0] = 0;
    EXPECT_EQ(copied[0], 1);

    // Without LR_CREATEDIBSECTION the copy is screen-compatible: 32 bits, colours resolved.
    bits[0] = 1;
    auto* screen = static_cast<HBITMAP>(CopyImage(bmp, IMAGE_BITMAP, 2, 2, 0));
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(GetObjectA(screen, sizeof ds, &ds), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
    uint8_t out[16] = {};
    ASSERT_EQ(read_rows(screen, 2, 2, 32, out), 2);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[2], 30);
    EXPECT_EQ(out[4], 0);

    EXPECT_EQ(CopyImage(bmp, IMAGE_BITMAP, 3, 0, 0), nullptr);
    EXPECT_EQ(CopyImage(bmp, IMAGE_BITMAP, -1, 0, 0), nullptr);
    EXPECT_EQ(CopyImage(bmp, 1, 0, 0, 0), nullptr);
    auto* moved = static_cast<HBITMAP>(CopyImage(bmp, IMAGE_BITMAP, 0, 0, LR_COPYDELETEORG));
    ASSERT_NE(moved, nullptr);
    EXPECT_FALSE(DeleteObject(bmp));  // already gone
    EXPECT_TRUE(DeleteObject(moved));
    EXPECT_TRUE(DeleteObject(screen));
    EXPECT_TRUE(DeleteObject(copy));
}

TEST_F(Gdi, TopDownSectionRowsRunFromTheTop) {
    uint8_t* bits = nullptr;
    HBITMAP bmp = section(1, -2, 32, &bits);
    ASSERT_NE(bmp, nullptr);
    bits[0] = 7;  // first stored row: the top
    uint8_t out[8] = {};
    ASSERT_EQ(read_rows(bmp, 1, 2, 32, out), 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], 7);
    DeleteObject(bmp);
}

TEST(GdiExports, SharedLibraryExportsTheWin32Names) {
    // Left mapped after dlclose, so the leak checker still reaches its start-up objects.
    void* lib = dlopen(QUORVEL_SHARED_LIB, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char* name :
         {"CreateDIBSection", "CreateBitmap", "GetObjectA", "GetDIBits", "DeleteObject",
          "CopyImage", "GetDC", "ReleaseDC", "CreateCompatibleDC", "DeleteDC", "SelectObject",
          "SetDIBColorTable", "GetDIBColorTable", "GetForegroundWindow", "MessageBoxA",
          "GetLastError"})
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "_ZN7quorvel8platform7find_dcEPKv"), nullptr);
    dlclose(lib);
}

}  // namespace
