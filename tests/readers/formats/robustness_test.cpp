// Every prefix of a sample of each format, and byte mutations of it, either loads or fails
// with one of the graphic error kinds: no reader reads past its input or fails otherwise.
#include <new>
#include <random>

#include "handmade_files.h"
#include "readers/reader_classes.h"
#include "support/allocation_failure.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {

struct Sample {
    const char* label;
    const toolkit::GraphicClass& (*cls)();
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> tool_file(const testing::TempDir& dir, const std::string& source,
                               const std::string& options, const std::string& target) {
    const std::string out = dir.file("sample");
    EXPECT_EQ(testing::run("convert " + sh_quote(source) + " " + options + " " + target + ":" +
                           sh_quote(out)),
              0);
    return testing::read_file(out);
}

std::vector<uint8_t> psp_sample(unsigned major, unsigned how) {
    const PspBuilder p{major};
    Bytes channels;
    channels.raw(p.channel(1, compress(kRed, how), 8).b)
        .raw(p.channel(2, compress(kGreen, how), 8).b);
    Bytes body;
    body.raw(p.image(3, 2, how, 24, false).b)
        .raw(p.palette({{1, 2, 3}}).b)
        .raw(p.layer_bank(3, 2, channels, 2).b);
    return p.file(body);
}

// A load that succeeds or raises a graphic error passes; anything else fails the test.
void expect_graphic_outcome(const Sample& s, const std::vector<uint8_t>& bytes,
                            const std::string& what) {
    try {
        load(s.cls(), bytes);
    } catch (const toolkit::GraphicError&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << s.label << " " << what << ": " << e.what();
    }
}

// A sample of each format, from ImageMagick or built by hand.
std::vector<Sample> samples(const testing::TempDir& dir) {
    const codec_test::Sources src(dir);
    return {
        {"targa rle", readers::targa_graphic_class,
         tool_file(dir, src.rgb, "-compress RLE", "tga")},
        {"targa palette", readers::targa_graphic_class,
         tool_file(dir, src.few, "-type Palette -compress RLE", "tga")},
        {"sgi rle", readers::sgi_graphic_class, tool_file(dir, src.rgba, "-compress RLE", "sgi")},
        {"sgi 16-bit", readers::sgi_graphic_class,
         tool_file(dir, src.rgb, "-depth 16 -compress RLE", "sgi")},
        {"pcx", readers::pcx_graphic_class, tool_file(dir, src.rgb, "-type Palette", "pcx")},
        {"psd rle", readers::psd_graphic_class, tool_file(dir, src.rgba, "-compress RLE", "psd")},
        {"psd indexed", readers::psd_graphic_class,
         tool_file(dir, src.few, "-type Palette -compress RLE", "psd")},
        {"png interlaced", readers::png_graphic_class,
         tool_file(dir, src.rgba, "-interlace PNG", "png")},
        {"png palette", readers::png_graphic_class, tool_file(dir, src.few, "", "png8")},
        {"rla", readers::rla_graphic_class, rla_sample().b},
        {"cut", readers::cut_graphic_class, cut_file().b},
        {"autodesk", readers::autodesk_graphic_class, autodesk_sample().b},
        {"psp 3 rle", readers::psp_graphic_class, psp_sample(3, kRle)},
        {"psp 4 lz77", readers::psp_graphic_class, psp_sample(4, kLz77)},
    };
}

TEST(ReaderRobustness, TruncationsAndMutationsFailCleanly) {
    testing::TempDir dir;
    const std::vector<Sample> samples = readers_test::samples(dir);
    std::mt19937 random(20261209);
    for (const Sample& s : samples) {
        ASSERT_FALSE(s.bytes.empty()) << s.label;
        ASSERT_NO_THROW(load(s.cls(), s.bytes)) << s.label;
        for (size_t length = 0; length < s.bytes.size(); ++length)
            expect_graphic_outcome(
                s,
                std::vector<uint8_t>(s.bytes.begin(), s.bytes.begin() + static_cast<long>(length)),
                "prefix " + std::to_string(length));
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bytes = s.bytes;
            for (int k = 0; k < 4; ++k)
                bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
            expect_graphic_outcome(s, bytes, "mutation " + std::to_string(round));
        }
    }
}

// Each allocation of a load failing in turn: the load raises a graphic error or bad_alloc, or
// gives the same picture, and leaks nothing.
TEST(ReaderRobustness, FailedAllocationsFailCleanly) {
    if (!testing::can_fail_allocations()) GTEST_SKIP() << "sanitizer builds keep their allocator";
    testing::TempDir dir;
    for (const Sample& s : samples(dir)) {
        const auto picture = [&](long n, bool* failed_one, bool* loaded) {
            Picture p;
            testing::fail_allocation(n);
            try {
                auto g = load(s.cls(), s.bytes);
                *failed_one = testing::allocation_failed() && n > 0;
                *loaded = true;
                p = bitmap_picture(dynamic_cast<toolkit::Bitmap&>(*g), true);
            } catch (const toolkit::GraphicError&) {
                *failed_one = testing::allocation_failed() && n > 0;
            } catch (const std::bad_alloc&) {
                *failed_one = testing::allocation_failed() && n > 0;
            }
            return p;
        };
        bool failed_one = false, loaded = false;
        const Picture reference = picture(0, &failed_one, &loaded);
        ASSERT_TRUE(loaded) << s.label;
        for (long n = 1;; ++n) {
            const long live = testing::live_allocations();
            loaded = false;
            const std::vector<uint8_t> got = picture(n, &failed_one, &loaded).samples;
            EXPECT_EQ(testing::live_allocations() - live - (got.empty() ? 0 : 1), 0)
                << s.label << ": allocation " << n;
            if (loaded) EXPECT_EQ(got, reference.samples) << s.label << ": allocation " << n;
            if (!failed_one) break;
        }
    }
}

// A file that lacks half its pixels is far from an implausible claim: it fails in its reader's
// own words.
TEST(ReaderRobustness, FilesCutShortRaiseTheirReadersStreamError) {
    testing::TempDir dir;
    const codec_test::Sources src(dir);
    const size_t pixels = 23 * 13;
    const std::pair<Sample, size_t> cases[] = {
        {{"Targa", readers::targa_graphic_class, tool_file(dir, src.rgb, "-compress None", "tga")},
         3 * pixels},
        {{"sgi, bw or rgb(a)", readers::sgi_graphic_class,
          tool_file(dir, src.rgb, "-compress None", "sgi")},
         3 * pixels},
        {{"Autodesk", readers::autodesk_graphic_class, autodesk_sample().b}, 6},
    };
    for (const auto& [s, pixel_bytes] : cases) {
        const std::vector<uint8_t> cut(s.bytes.begin(),
                                       s.bytes.end() - static_cast<long>(pixel_bytes / 2));
        try {
            load(s.cls(), cut);
            ADD_FAILURE() << s.label << " loaded";
        } catch (const toolkit::EInvalidGraphic& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Stream read error in " + std::string(s.label) + " file.");
        }
    }
}

}  // namespace
}  // namespace quorvel::readers_test
