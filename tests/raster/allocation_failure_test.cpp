// Out of memory at any allocation of a read, in our code or in the library it calls: the read
// fails (with an error code or bad_alloc) with the record released, or gives the same picture as
// without the failure, and never leaks. (Not TIFF: libtiff 4.5 itself crashes in TIFFReadDirectory
// when its field array cannot be allocated.)
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "support/allocation_failure.h"
#include "support/record_picture.h"
#include "support/test_support.h"

namespace quorvel::raster {
namespace {

struct Read {
    BMGError code = BMG_OK;
    testing::Picture picture;
    bool empty = true;  // no pixels and no palette left in the record
    long leaked = 0;
    bool failed_one = false;
};

Read read(const std::string& file, long n) {
    Read r;
    const long live = testing::live_allocations();
    {
        BMGImage img;
        ClearImageRecord(&img);
        img.dibLayout = 1;
        testing::fail_allocation(n);
        try {
            r.code = ReadImageFile(file.c_str(), &img, nullptr);
        } catch (const std::bad_alloc&) {  // the exports turn it into their failure
            r.code = BMG_ERR_NO_MEMORY;
        }
        r.failed_one = testing::allocation_failed() && n > 0;
        r.empty = img.pixels == nullptr && img.palette == nullptr;
        if (r.code == BMG_OK) r.picture = testing::record_picture(img);
        ReleaseImageRecord(&img);
    }
    r.leaked = testing::live_allocations() - live - (r.picture.samples.empty() ? 0 : 1);
    return r;
}

TEST(AllocationFailures, EachFailedAllocationOfAReadFailsCleanly) {
    if (!testing::can_fail_allocations()) GTEST_SKIP() << "sanitizer builds keep their allocator";
    ASSERT_TRUE(testing::have_tool("convert"));
    testing::TempDir dir;
    testing::write_pnm(dir.file("src.ppm"), testing::pattern(21, 13, 3, 5));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"few.png", "-colors 12"},
        {"rgb.png", ""},
        {"rle.tga", "-compress RLE"},
        {"rle.rgb", "-compress RLE sgi:"},
        {"plain.bmp", ""},
        {"few.pcx", "-colors 12"},
        {"q.jpg", "-quality 80"},
        {"rle.psd", "-compress RLE"},

    };
    for (const auto& [name, options] : files) {
        const std::string file = dir.file(name);
        ASSERT_EQ(testing::run("convert " + testing::quoted(dir.file("src.ppm")) + " " + options +
                               (!options.empty() && options.back() == ':' ? "" : " ") +
                               testing::quoted(file)),
                  0);
        const Read reference = read(file, 0);
        ASSERT_EQ(reference.code, BMG_OK) << name;
        int failures = 0;
        for (long n = 1; n < 100000; ++n) {
            const Read r = read(file, n);
            EXPECT_EQ(r.leaked, 0) << name << ": allocation " << n;
            if (!r.failed_one) {
                EXPECT_EQ(r.code, BMG_OK) << name;
                break;
            }
            if (r.code == BMG_OK) {
                EXPECT_EQ(r.picture.samples, reference.picture.samples) << name << ": " << n;
                continue;
            }
            ++failures;
            EXPECT_TRUE(r.empty) << name << ": allocation " << n;
        }
        EXPECT_GT(failures, 0) << name;
    }
}

}  // namespace
}  // namespace quorvel::raster
