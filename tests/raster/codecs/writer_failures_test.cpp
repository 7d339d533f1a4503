// Every container writer the same way: a record without pixels, no file name, a folder that
// does not exist and a full device each fail with the writer's code, which the last-error slot
// keeps too; none is reported as written. (The TIFF writer reports a file libtiff cannot open
// as BMG_ERR_NO_MEMORY, as its callers know it.)
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "raster/codecs/codecs.h"
#include "support/image_record.h"
#include "support/recording_presenter.h"
#include "support/test_support.h"

namespace quorvel::raster {
namespace {

struct Writer {
    const char* name;
    std::function<BMGError(const char*, BMGImage)> write;
    BMGError cannot_open = BMG_ERR_OPEN_FILE, cannot_write = BMG_ERR_WRITE_FILE;
};

const Writer kWriters[] = {
    {"bmp", WriteBmpFile},
    {"png", WritePngFile},
    {"tga", WriteTgaFile},
    {"rgb", WriteSgiRgbFile},
    {"jpg", [](const char* f, BMGImage img) { return WriteJpegFile(f, img, 90); }},
    {"tif", [](const char* f, BMGImage img) { return WriteTiffFile(f, img, nullptr); },
     BMG_ERR_NO_MEMORY, BMG_ERR_NO_MEMORY},
};

TEST(Writers, EachFailureHasItsCodeAndNothingIsReportedWritten) {
    testing::TempDir dir;
    testing::RecordingPresenter quiet;  // libtiff shows its errors in message boxes
    testing::ImageRecord good(16, 8, 24, 1);
    testing::ImageRecord empty(1);
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        const std::string path = dir.file(std::string("out.") + w.name);
        const BMGError refused = w.write(path.c_str(), empty.img);  // its depth or its pixels
        EXPECT_TRUE(refused == BMG_ERR_IMAGE_POINTER || refused == BMG_ERR_BITS_PER_PIXEL);
        EXPECT_EQ(GetLastImageError(), refused);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(w.write(nullptr, good.img), w.cannot_open);
        const std::string nowhere = dir.file("missing") + "/out." + w.name;
        EXPECT_EQ(w.write(nowhere.c_str(), good.img), w.cannot_open);
        EXPECT_EQ(GetLastImageError(), w.cannot_open);
        EXPECT_EQ(w.write("/dev/full", good.img), w.cannot_write);
        EXPECT_EQ(GetLastImageError(), w.cannot_write);
        EXPECT_EQ(w.write(path.c_str(), good.img), BMG_OK);
        EXPECT_GT(std::filesystem::file_size(path), 0u);
    }
}

}  // namespace
}  // namespace quorvel::raster
