#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <quorvel/wingdi.h>

#include "raster/bmg_error.h"

namespace quorvel::raster {
namespace {

TEST(ErrorTable, TextsFollowTheLastError) {
    SetLastImageError(BMG_OK);
    EXPECT_STREQ(GetImageErrorText(), "No Error");
    EXPECT_EQ(SetLastImageError(BMG_ERR_BITMAP_HANDLE), BMG_ERR_BITMAP_HANDLE);
    EXPECT_STREQ(GetImageErrorText(), "Invalid bitmap handle");
    SetLastImageError(BMG_ERR_EXTENSION);
    EXPECT_STREQ(GetImageErrorText(), "Unsupported file extension");
    SetLastImageError(BMG_ERR_CORRUPT_FILE);
    EXPECT_STREQ(GetImageErrorText(), "Corrupt File");
    SetLastImageError(BMG_ERR_WRITE_FILE);
    EXPECT_STREQ(GetImageErrorText(), "Error writing to the output file");
    EXPECT_EQ(GetLastImageError(), BMG_ERR_WRITE_FILE);
}

TEST(ErrorTable, CodeOutsideTheTableHasAText) {
    SetLastImageError(static_cast<BMGError>(-3));
    ASSERT_NE(GetImageErrorText(), nullptr);
    EXPECT_GT(std::strlen(GetImageErrorText()), 0u);
    SetLastImageError(static_cast<BMGError>(17));
    EXPECT_GT(std::strlen(GetImageErrorText()), 0u);
    SetLastImageError(BMG_OK);
}

// The Windows API slot takes the system's text for its last error and keeps it.
TEST(ErrorTable, WindowsApiSlotTakesSystemText) {
    SetLastError(ENOMEM);
    SetLastImageError(BMG_ERR_WINDOWS_API);
    const char* text = GetImageErrorText();
    EXPECT_STREQ(text, std::strerror(ENOMEM));
    EXPECT_LT(std::strlen(text), 128u);
    // A code the system has no text for keeps the slot's previous text.
    SetLastError(0x7FFF1234);
    EXPECT_STREQ(GetImageErrorText(), std::strerror(ENOMEM));
    SetLastImageError(BMG_OK);
    EXPECT_STREQ(GetImageErrorText(), "No Error");
}

}  // namespace
}  // namespace quorvel::raster
