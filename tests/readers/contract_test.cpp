// The contract every registered reader keeps: a small valid file of its format loads into a
// bitmap the 24-bit conversion accepts, and every truncation of that file either loads or
// fails with one of the graphic error kinds, never anything else and never a crash.
//
// To bring a reader under the contract, add a row to kSamples below: the reader class's name
// (as its GraphicClass names it) and a function that returns a small valid file of the format
// for the extension asked (several extensions may share a class and want different files). Make
// the file with a third-party tool when one writes the format (return an empty vector when the
// tool is missing: the case is then skipped), or build it by hand. A class without a row must
// still refuse a file that is not of its format (the placeholders do).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "readers/registry.h"
#include "support/test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers {
namespace {

using Bytes = std::vector<uint8_t>;
using quorvel::testing::TempDir;

// Runs a shell command that writes the sample to $OUT; empty when it fails.
Bytes from_tool(const std::string& command) {
    TempDir dir;
    const std::string out = dir.file("sample");
    if (quorvel::testing::run("OUT=" + out + "; " + command + " 2>/dev/null") != 0) return {};
    return quorvel::testing::read_file(out);
}

Bytes netpbm_sample(const std::string& extension) {
    if (!quorvel::testing::have_tool("pgmramp")) return {};
    if (extension == "pbm") return from_tool("pgmramp -diag 11 5 | pgmtopbm -threshold >$OUT");
    if (extension == "pgm") return from_tool("pgmramp -diag 11 5 | pnmtopnm -plain >$OUT");
    return from_tool("pgmramp -diag 5 4 | pgmtoppm yellow >$OUT");
}

// ImageMagick writes most formats: a small colour picture in the format the extension names.
Bytes magick_sample(const std::string& extension) {
    if (!quorvel::testing::have_tool("convert")) return {};
    static const struct {
        const char* extension;
        const char* format;
    } kFormats[] = {
        {"win", "tga"},  {"vst", "tga"},   {"vda", "tga"},  {"tga", "tga"},  {"icb", "tga"},
        {"tif", "tiff"}, {"tiff", "tiff"}, {"fax", "tiff"}, {"pcx", "pcx"},  {"pcc", "pcx"},
        {"scr", "pcx"},  {"sgi", "sgi"},   {"rgb", "sgi"},  {"rgba", "sgi"}, {"bw", "sgi"},
        {"psd", "psd"},  {"pdd", "psd"},   {"png", "png"},  {"rle", "bmp3"}, {"dib", "bmp"},
        {"jfif", "jpg"}, {"ico", "ico"},   {"pcd", "pcd"},
    };
    for (const auto& f : kFormats)
        if (extension == f.extension)
            return from_tool(std::string("convert -size 13x7 gradient:red-blue -depth 8 ") +
                             f.format + ":$OUT");
    return {};
}

struct SampleRow {
    const char* class_name;
    Bytes (*make)(const std::string& extension);
};

const SampleRow kSamples[] = {
    {"TPPMGraphic", netpbm_sample},  {"TTargaGraphic", magick_sample},
    {"TTIFFGraphic", magick_sample}, {"TPCXGraphic", magick_sample},
    {"TSGIGraphic", magick_sample},  {"TPSDGraphic", magick_sample},
    {"TPNGGraphic", magick_sample},  {"TBitmap", magick_sample},
    {"TJPEGImage", magick_sample},   {"TIcon", magick_sample},
    {"TPCDGraphic", magick_sample},
};

const SampleRow* sample_row(const std::string& class_name) {
    for (const SampleRow& row : kSamples)
        if (class_name == row.class_name) return &row;
    return nullptr;
}

// Loads the bytes as the file "sample.<ext>"; rethrows whatever the reader raised.
std::unique_ptr<toolkit::Picture> load(const std::string& extension, const Bytes& bytes) {
    auto picture = std::make_unique<toolkit::Picture>();
    picture->load_from_memory("sample." + extension, bytes);
    return picture;
}

// What loaded converts to 24 bits at its own size.
void expect_convertible(const toolkit::Graphic& graphic) {
    if (graphic.empty()) return;
    toolkit::Bitmap copy;
    copy.assign(graphic);
    copy.set_pixel_format(toolkit::PixelFormat::Bit24);
    EXPECT_EQ(copy.pixel_format(), toolkit::PixelFormat::Bit24);
    EXPECT_EQ(copy.width(), graphic.width());
    EXPECT_EQ(copy.height(), graphic.height());
    EXPECT_NE(copy.scanline(copy.height() - 1), nullptr);
}

// Loads a prefix of the sample: it loads, or it fails with a graphic error kind.
void load_prefix(const std::string& extension, const Bytes& sample, size_t length) {
    const Bytes prefix(sample.begin(), sample.begin() + length);
    try {
        expect_convertible(*load(extension, prefix)->graphic());
    } catch (const toolkit::GraphicError&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << "length " << length << ": " << e.what();
    }
}

class ReaderContract : public ::testing::TestWithParam<std::string> {};

TEST_P(ReaderContract, LoadsItsSampleAndSurvivesEveryTruncation) {
    const std::string extension = GetParam();
    const ExtensionEntry* entry = file_format_list().find(extension);
    ASSERT_NE(entry, nullptr);
    const SampleRow* row = sample_row(entry->owner->graphic_class->name);
    if (row == nullptr) {
        EXPECT_THROW(load(extension, Bytes{'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}),
                     toolkit::GraphicError)
            << "a class without a sample must refuse other files";
        return;
    }
    const Bytes sample = row->make(extension);
    if (sample.empty()) GTEST_SKIP() << "no tool to make a " << extension << " sample";
    auto whole = load(extension, sample);
    ASSERT_FALSE(whole->graphic()->empty());
    expect_convertible(*whole->graphic());
    // Every length of a small sample; about 4096 evenly spread lengths of a large one (a
    // Photo-CD pack is most of a megabyte), the first 512 always among them.
    const size_t step = std::max<size_t>(1, sample.size() / 4096);
    for (size_t length = 0; length < sample.size(); length += length < 512 ? 1 : step)
        load_prefix(extension, sample, length);
}

std::vector<std::string> registered_extensions() {
    std::vector<std::string> names;
    for (const ExtensionEntry& e : file_format_list().extensions()) names.push_back(e.extension);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Registry, ReaderContract, ::testing::ValuesIn(registered_extensions()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace quorvel::readers
