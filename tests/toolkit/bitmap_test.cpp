#include "toolkit/bitmap.h"

#include <gtest/gtest.h>

#include "platform/gdi_objects.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::toolkit {
namespace {

RGBQUAD rgb(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

TEST(Bitmap, IndexedImageConvertsTo24BitsThroughItsPalette) {
    Bitmap bitmap;
    bitmap.set_pixel_format(PixelFormat::Bit4);
    bitmap.set_palette({rgb(0, 0, 0), rgb(255, 0, 0), rgb(0, 0, 255)});
    bitmap.set_size(3, 2);
    bitmap.scanline(0)[0] = 0x12;  // pixels 1, 2
    bitmap.scanline(1)[1] = 0x10;  // pixel 2 of row 1 is index 1
    bitmap.set_pixel_format(PixelFormat::Bit24);
    ASSERT_EQ(bitmap.width(), 3);
    const uint8_t* top = bitmap.scanline(0);
    EXPECT_EQ(top[2], 255);  // red, stored blue-green-red
    EXPECT_EQ(top[3], 255);  // blue
    EXPECT_EQ(top[5], 0);
    EXPECT_EQ(bitmap.scanline(1)[8], 255);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(bitmap.handle(), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmBitsPixel, 24);
}

TEST(Bitmap, IndexesSurviveWideningAndColoursPickTheNearestEntry) {
    Bitmap bitmap;
    bitmap.set_pixel_format(PixelFormat::Bit1);
    bitmap.set_size(9, 1);
    bitmap.scanline(0)[0] = 0xA0;
    bitmap.scanline(0)[1] = 0x80;
    bitmap.set_pixel_format(PixelFormat::Bit8);
    const uint8_t* row = bitmap.scanline(0);
    EXPECT_EQ(row[0], 1);
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 1);
    EXPECT_EQ(row[8], 1);
    bitmap.set_pixel_format(PixelFormat::Bit24);
    bitmap.scanline(0)[0] = bitmap.scanline(0)[1] = bitmap.scanline(0)[2] = 200;
    bitmap.set_pixel_format(PixelFormat::Bit1);
    EXPECT_EQ(bitmap.scanline(0)[0] & 0x80, 0x80);  // light gray is nearest to white
}

TEST(Bitmap, HandleIsALiveDibSectionOwnedByTheBitmap) {
    const size_t before = platform::live_object_count();
    HBITMAP handle;
    {
        Bitmap bitmap;
        bitmap.set_pixel_format(PixelFormat::Bit24);
        bitmap.set_size(4, 4);
        handle = bitmap.handle();
        DIBSECTION section{};
        EXPECT_EQ(GetObjectA(handle, sizeof section, &section), static_cast<int>(sizeof section));
        EXPECT_EQ(section.dsBm.bmWidth, 4);
        bitmap.set_size(2, 2);  // a new image: the old handle dies
        EXPECT_EQ(GetObjectA(handle, sizeof section, &section), 0);
        HBITMAP kept = bitmap.release_handle();
        EXPECT_TRUE(bitmap.empty());
        Bitmap other;
        other.assign_handle(kept);
        EXPECT_EQ(other.width(), 2);
        EXPECT_EQ(other.pixel_format(), PixelFormat::Bit24);
    }
    EXPECT_EQ(platform::live_object_count(), before);
}

TEST(Bitmap, AHandleTheHostDeletedIsNotFreedTwice) {
    Bitmap bitmap;
    bitmap.set_pixel_format(PixelFormat::Bit8);
    bitmap.set_size(1, 1);
    EXPECT_TRUE(DeleteObject(bitmap.handle()));
}  // the destructor must notice the handle is gone

TEST(Bitmap, RowsOutsideTheImageThrow) {
    Bitmap bitmap;
    EXPECT_THROW(bitmap.scanline(0), EInvalidGraphic);
    bitmap.set_pixel_format(PixelFormat::Bit8);
    bitmap.set_size(2, 2);
    EXPECT_THROW(bitmap.scanline(2), EInvalidGraphic);
    EXPECT_THROW(bitmap.scanline(-1), EInvalidGraphic);
}

TEST(PictureFiles, ExtensionFollowsTheLastDelimiter) {
    EXPECT_EQ(file_extension("a/b.TIF"), "tif");
    EXPECT_EQ(file_extension("old.dir\\image"), "");
    EXPECT_EQ(file_extension("c:name.Pgm"), "pgm");
    EXPECT_EQ(file_extension("plain"), "");
}

TEST(PictureFiles, FormatMessageFillsEachPlaceholderOnce) {
    EXPECT_EQ(format_message("Cannot load image. %s not supported for %s files.",
                             "The compression scheme is", "TIF/TIFF"),
              "Cannot load image. The compression scheme is not supported for TIF/TIFF files.");
    EXPECT_EQ(format_message("Stream read error in %s file.", "%s"),
              "Stream read error in %s file.");
}

}  // namespace
}  // namespace quorvel::toolkit
