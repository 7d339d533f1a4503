#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include <quorvel/wingdi.h>

#include "platform/gdi_objects.h"
#include "raster/bridge.h"
#include "support/image_record.h"

namespace quorvel::raster {
namespace {

using Record = testing::ImageRecord;

DIBSECTION query(HBITMAP bitmap) {
    DIBSECTION ds{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
    return ds;
}

std::vector<RGBQUAD> colour_table(HBITMAP bitmap, UINT count) {
    std::vector<RGBQUAD> table(count);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_EQ(GetDIBColorTable(dc, 0, count, table.data()), count);
    SelectObject(dc, old);
    DeleteDC(dc);
    return table;
}

using Rgba = std::array<int, 4>;
Rgba rgba(const RGBQUAD& q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue, q.rgbReserved}; }

// The bridge must give back every window context and memory context it takes.
class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        objects_ = platform::live_object_count();
        dcs_ = platform::live_dc_count();
    }
    void TearDown() override {
        EXPECT_EQ(platform::live_object_count(), objects_);
        EXPECT_EQ(platform::live_dc_count(), dcs_);
    }

private:
    size_t objects_ = 0, dcs_ = 0;
};

TEST(FillBitmapInfoHeader, NormalisesDepthAndSizes) {
    const struct {
        uint32_t asked, bits, colours;
    } cases[] = {{0, 1, 2},   {2, 4, 16},  {5, 8, 256}, {12, 16, 0},
                 {24, 24, 0}, {32, 32, 0}, {33, 8, 256}};
    for (const auto& c : cases) {
        const BITMAPINFO info = FillBitmapInfoHeader(3, 5, c.asked, 0);
        EXPECT_EQ(info.bmiHeader.biBitCount, c.bits) << c.asked;
        EXPECT_EQ(info.bmiHeader.biClrUsed, c.colours) << c.asked;
        EXPECT_EQ(info.bmiHeader.biClrImportant, c.colours) << c.asked;
        EXPECT_EQ(info.bmiHeader.biSizeImage, (3 * c.bits + 31) / 32 * 4 * 5) << c.asked;
    }
    const BITMAPINFO info = FillBitmapInfoHeader(7, 9, 24, 0);
    EXPECT_EQ(info.bmiHeader.biSize, 40u);
    EXPECT_EQ(info.bmiHeader.biHeight, 9);
    EXPECT_EQ(info.bmiHeader.biPlanes, 1);
    EXPECT_EQ(info.bmiHeader.biXPelsPerMeter, 0);
    EXPECT_EQ(info.bmiColors[0].rgbRed, 0);
}

TEST_F(Bridge, TransparentEntryTakesTheBackgroundInTableAndRecord) {
    Record r(2, 2, 8, 1, 5);
    for (int i = 0; i < 5; ++i) std::memset(r.img.palette + 4 * i, 10 * i, 3);
    r.img.transparentIndex = 3;
    r.img.pixels[0] = 3;
    HBITMAP bmp = BitmapFromImage(r.img, 0);
    ASSERT_NE(bmp, nullptr);
    const std::vector<RGBQUAD> table = colour_table(bmp, 5);
    EXPECT_EQ(rgba(table[3]), (Rgba{255, 255, 255, 0}));
    EXPECT_EQ(table[2].rgbRed, 20);
    EXPECT_EQ(r.img.palette[12], 255);
    EXPECT_EQ(query(bmp).dsBmih.biClrUsed, 5u);
    DeleteObject(bmp);
}

TEST_F(Bridge, TransparentIndexBeyondThePaletteIsIgnored) {
    Record r(2, 2, 4, 1, 3);
    r.img.transparentIndex = 9;
    HBITMAP bmp = BitmapFromImage(r.img, 0);
    ASSERT_NE(bmp, nullptr);
    DeleteObject(bmp);
}

TEST_F(Bridge, ThreeBytePaletteBecomesAColourTable) {
    Record r(3, 1, 8, 0, 2);
    ASSERT_EQ(r.img.paletteEntryBytes, 3);
    const uint8_t entries[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(r.img.palette, entries, 6);
    HBITMAP bmp = BitmapFromImage(r.img, 0);
    ASSERT_NE(bmp, nullptr);
    const std::vector<RGBQUAD> table = colour_table(bmp, 2);
    EXPECT_EQ(rgba(table[1]), (Rgba{6, 5, 4, 0}));
    DeleteObject(bmp);
}

TEST_F(Bridge, PackedRowsArePaddedIntoTheSection) {
    Record r(3, 2, 24, 0);
    ASSERT_EQ(r.img.rowBytes, 9u);
    for (uint32_t i = 0; i < 18; ++i) r.img.pixels[i] = static_cast<uint8_t>(i + 1);
    HBITMAP bmp = BitmapFromImage(r.img, 0);
    ASSERT_NE(bmp, nullptr);
    const DIBSECTION ds = query(bmp);
    const auto* bits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
    EXPECT_EQ(bits[8], 9);
    EXPECT_EQ(bits[9], 0);
    EXPECT_EQ(bits[12], 10);
    EXPECT_EQ(bits[20], 18);
    DeleteObject(bmp);
}

TEST_F(Bridge, CompositingModeBlendsOverWhite) {
    Record r(1, 1, 32, 1);
    const uint8_t pixel[4] = {200, 0, 100, 128};
    std::memcpy(r.img.pixels, pixel, 4);
    HBITMAP plain = BitmapFromImage(r.img, 0);
    HBITMAP blended = BitmapFromImage(r.img, 1);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(blended, nullptr);
    const auto* p = static_cast<const uint8_t*>(query(plain).dsBm.bmBits);
    const auto* b = static_cast<const uint8_t*>(query(blended).dsBm.bmBits);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), std::vector<uint8_t>(pixel, pixel + 4));
    EXPECT_EQ(b[0], CompositeChannel(200, 128, 255));
    EXPECT_EQ(b[1], CompositeChannel(0, 128, 255));
    EXPECT_EQ(b[2], CompositeChannel(100, 128, 255));
    EXPECT_EQ(b[3], 128);
    DeleteObject(plain);
    DeleteObject(blended);
}

TEST_F(Bridge, RecordWithoutPixelsOrWithShortRowsMakesNoBitmap) {
    Record empty(0);
    empty.img.width = empty.img.height = 2;
    empty.img.bitsPerPixel = 24;
    EXPECT_EQ(BitmapFromImage(empty.img, 0), nullptr);
    Record r(4, 2, 24, 0);
    BMGImage shortened = r.img;
    shortened.rowBytes = 5;
    EXPECT_EQ(BitmapFromImage(shortened, 0), nullptr);
    EXPECT_NE(GetLastImageError(), BMG_OK);
}

// Every depth survives record -> section -> record unchanged.
TEST_F(Bridge, RoundTripKeepsPixelsAndPalette) {
    for (uint8_t bits : {1, 4, 8, 16, 24, 32}) {
        Record r(5, 3, bits, 1);
        for (uint32_t i = 0; i < r.img.rowBytes * r.img.height; ++i)
            r.img.pixels[i] = static_cast<uint8_t>(i * 37 + 11);
        // Padding stays zero, as the data model says.
        const uint32_t packed = (bits * 5 + 7) / 8;
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = packed; x < r.img.rowBytes; ++x)
                r.img.pixels[y * r.img.rowBytes + x] = 0;
        if (bits == 32)
            for (uint32_t i = 3; i < r.img.rowBytes * 3; i += 4) r.img.pixels[i] = 255;
        // Bits past the last pixel of a 1- or 4-bit row are padding too.
        if (bits < 8)
            for (uint32_t y = 0; y < 3; ++y)
                r.img.pixels[y * r.img.rowBytes + packed - 1] &=
                    static_cast<uint8_t>(0xFF << (packed * 8 - 5 * bits));
        for (uint32_t i = 0; i < r.img.paletteSize; ++i) {
            r.img.palette[4 * i] = static_cast<uint8_t>(i);
            r.img.palette[4 * i + 2] = static_cast<uint8_t>(255 - i);
        }
        HBITMAP bmp = BitmapFromImage(r.img, 0);
        ASSERT_NE(bmp, nullptr) << int(bits);
        Record back(0);
        ASSERT_EQ(ImageFromBitmap(bmp, &back.img, 1), BMG_OK) << int(bits);
        EXPECT_EQ(back.img.bitsPerPixel, bits);
        EXPECT_EQ(back.img.dibLayout, 1);
        ASSERT_EQ(back.img.rowBytes, r.img.rowBytes);
        EXPECT_EQ(std::memcmp(back.img.pixels, r.img.pixels, r.img.rowBytes * 3), 0) << int(bits);
        ASSERT_EQ(back.img.paletteSize, r.img.paletteSize);
        if (bits <= 8) {
            EXPECT_EQ(std::memcmp(back.img.palette, r.img.palette, 4 * r.img.paletteSize), 0);
        }
        DeleteObject(bmp);
    }
}

TEST_F(Bridge, SectionBecomesDibLayoutRecord) {
    Record r(3, 2, 24, 1);
    HBITMAP bmp = BitmapFromImage(r.img, 0);
    Record back(0);
    ASSERT_EQ(ImageFromBitmap(bmp, &back.img, 0), BMG_OK);
    EXPECT_EQ(back.img.rowBytes, 12u);
    EXPECT_EQ(back.img.dibLayout, 1);
    DeleteObject(bmp);
}

TEST_F(Bridge, UncompositeUndoesTheBlendOfA32BitSection) {
    Record r(1, 1, 32, 1);
    const uint8_t pixel[4] = {CompositeChannel(40, 128, 255), CompositeChannel(0, 128, 255),
                              CompositeChannel(255, 128, 255), 128};
    std::memcpy(r.img.pixels, pixel, 4);
    HBITMAP bmp = BitmapFromImage(r.img, 0);
    Record undone, kept;
    ASSERT_EQ(ImageFromBitmap(bmp, &undone.img, 1), BMG_OK);
    ASSERT_EQ(ImageFromBitmap(bmp, &kept.img, 0), BMG_OK);
    EXPECT_NEAR(undone.img.pixels[0], 40, 2);
    EXPECT_EQ(undone.img.pixels[1], 0);
    EXPECT_EQ(undone.img.pixels[2], 255);
    EXPECT_EQ(undone.img.pixels[3], 128);
    EXPECT_EQ(std::memcmp(kept.img.pixels, pixel, 4), 0);
    DeleteObject(bmp);
}

TEST_F(Bridge, DeviceBitmapOf32BitsGetsOpaqueAlpha) {
    const uint8_t rows[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // 1 x 2, top row first
    HBITMAP ddb = CreateBitmap(1, 2, 1, 32, rows);
    Record back(0);
    ASSERT_EQ(ImageFromBitmap(ddb, &back.img, 1), BMG_OK);
    EXPECT_EQ(back.img.bitsPerPixel, 32);
    const std::vector<uint8_t> got(back.img.pixels, back.img.pixels + 8);
    EXPECT_EQ(got, (std::vector<uint8_t>{5, 6, 7, 255, 1, 2, 3, 255}));
    DeleteObject(ddb);
}

TEST_F(Bridge, TopDownSectionIsReadUpright) {
    BITMAPINFO info = FillBitmapInfoHeader(1, 2, 24, 0);
    info.bmiHeader.biHeight = -2;
    void* raw = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    static_cast<uint8_t*>(raw)[0] = 9;  // top row
    Record back(0);
    ASSERT_EQ(ImageFromBitmap(bmp, &back.img, 0), BMG_OK);
    EXPECT_EQ(back.img.height, 2u);
    EXPECT_EQ(back.img.pixels[0], 0);
    EXPECT_EQ(back.img.pixels[4], 9);  // stored last: the top row
    DeleteObject(bmp);
}

TEST_F(Bridge, RejectedHandlesReleaseTheRecordAndRecordTheCode) {
    Record target(2, 2, 8, 1);
    EXPECT_EQ(ImageFromBitmap(nullptr, &target.img, 0), BMG_ERR_BITMAP_HANDLE);
    EXPECT_EQ(target.img.pixels, nullptr);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_BITMAP_HANDLE);

    HGDIOBJ brush = CreateSolidBrush(0);
    Record b(0);
    EXPECT_EQ(ImageFromBitmap(brush, &b.img, 0), BMG_ERR_BITMAP_HANDLE);
    DeleteObject(brush);

    int not_a_bitmap = 0;
    Record c(0);
    EXPECT_EQ(ImageFromBitmap(reinterpret_cast<HBITMAP>(&not_a_bitmap), &c.img, 0),
              BMG_ERR_WINDOWS_API);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_WINDOWS_API);

    HBITMAP ddb8 = CreateBitmap(4, 4, 1, 8, nullptr);
    Record d(0);
    EXPECT_EQ(ImageFromBitmap(ddb8, &d.img, 0), BMG_ERR_BITS_PER_PIXEL);
    EXPECT_EQ(d.img.pixels, nullptr);
    DeleteObject(ddb8);
}

}  // namespace
}  // namespace quorvel::raster
