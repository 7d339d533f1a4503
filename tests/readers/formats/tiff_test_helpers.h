// Shared by the extended TIFF reader's tests: loading bytes with TTIFFGraphic and reading the
// bitmap back as an RGB picture, and running tools in a scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/formats/tiff.h"
#include "support/record_picture.h"
#include "support/test_support.h"
#include "toolkit/bitmap.h"

namespace quorvel::readers::test {

// The bitmap's pixels as RGB, top row first.
inline testing::Picture bitmap_rgb(toolkit::Bitmap& bitmap) {
    bitmap.set_pixel_format(toolkit::PixelFormat::Bit24);
    testing::Picture out{bitmap.width(), bitmap.height(), 3, {}};
    for (int y = 0; y < bitmap.height(); ++y) {
        const uint8_t* row = bitmap.scanline(y);
        for (int x = 0; x < bitmap.width(); ++x)
            out.samples.insert(out.samples.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    return out;
}

// Largest sample difference of two RGB pictures; 999 when their sizes differ.
inline int rgb_difference(const testing::Picture& a, const testing::Picture& b) {
    if (a.width != b.width || a.height != b.height || a.samples.size() != b.samples.size())
        return 999;
    int largest = 0;
    for (size_t i = 0; i < a.samples.size(); ++i)
        largest = std::max(largest, std::abs(int{a.samples[i]} - int{b.samples[i]}));
    return largest;
}

class ScratchTest : public ::testing::Test {
protected:
    int shell(const std::string& command) {
        return testing::run("cd " + testing::quoted(dir.path().string()) + " && " + command);
    }
    std::vector<uint8_t> bytes(const std::string& name) {
        return testing::read_file(dir.file(name));
    }

    testing::TempDir dir;
};

}  // namespace quorvel::readers::test
