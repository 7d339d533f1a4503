// The format registry: its load order, kinds, descriptions, the picture loader's mirror of it,
// double registration and unregistering.
#include "readers/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers {
namespace {

TEST(Registry, HoldsTheExtensionsInLoadOrderWithTheirKinds) {
    const std::vector<std::pair<std::string, int>> expected = {
        {"ico", 8},  {"wmf", 16}, {"emf", 16}, {"jfif", 8}, {"rle", 8},   {"dib", 8},  {"win", 8},
        {"vst", 8},  {"vda", 8},  {"tga", 8},  {"icb", 8},  {"tiff", 12}, {"tif", 12}, {"fax", 12},
        {"eps", 8},  {"pcx", 8},  {"pcc", 8},  {"scr", 8},  {"rpf", 8},   {"rla", 8},  {"sgi", 8},
        {"rgba", 8}, {"rgb", 8},  {"bw", 8},   {"psd", 10}, {"pdd", 10},  {"ppm", 8},  {"pgm", 8},
        {"pbm", 8},  {"cel", 8},  {"pic", 8},  {"pcd", 8},  {"cut", 8},   {"psp", 24}, {"png", 8}};
    const auto& entries = file_format_list().extensions();
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].extension, expected[i].first);
        EXPECT_EQ(entries[i].kinds, expected[i].second) << entries[i].extension;
    }
}

TEST(Registry, DescriptionsFallBackToTheClasssCommonOne) {
    const TFileFormatList& list = file_format_list();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ico", "Windows icons"},
        {"wmf", "Windows metafiles"},
        {"emf", "Windows enhanced meta files"},
        {"dib", "Device independant Windows bitmaps"},
        {"vst", "Truevision images"},
        {"tif", "PC TIF images"},
        {"pcc", "ZSoft Paintbrush images"},
        {"rla", "Alias/Wavefront images"},
        {"bw", "SGI black/white images"},
        {"pdd", "Photoshop images"},
        {"pgm", "Portable gray map images"},
        {"pic", "Autodesk images"},
        {"psp", "Paintshop Pro images"},
        {"png", "Portable network graphic images"}};
    for (const auto& [extension, text] : expected) {
        const ExtensionEntry* entry = list.find(extension);
        ASSERT_NE(entry, nullptr) << extension;
        EXPECT_EQ(list.description(*entry), text);
        const toolkit::PictureFormat* format = toolkit::picture_formats().find(extension);
        ASSERT_NE(format, nullptr) << extension;
        EXPECT_EQ(format->description, text);
        EXPECT_EQ(format->graphic_class, entry->owner->graphic_class);
    }
    EXPECT_NE(list.find("PPM"), nullptr);
    EXPECT_FALSE(list.find("rle")->load_flag);
    EXPECT_TRUE(list.find("ppm")->load_flag);
    EXPECT_EQ(list.find("ppm")->owner, list.find("pbm")->owner);
    EXPECT_EQ(list.find("ppm")->owner->count, 3);
}

const toolkit::GraphicClass& probe_class() {
    static const toolkit::GraphicClass c{"TProbeGraphic", nullptr};
    return c;
}

TEST(Registry, RegisteringTwiceFailsUnlessReplacing) {
    TFileFormatList list;
    list.register_format("qzx", "Probe images", probe_class(), true, false, fkRaster, "");
    try {
        list.register_format("QZX", "", probe_class(), true, false, fkRaster, "");
        ADD_FAILURE() << "registered twice";
    } catch (const toolkit::EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Attempt to register qzx twice.");
    }
    list.register_format("qzx", "", probe_class(), true, true, fkRaster, "Replaced probes");
    ASSERT_EQ(list.extensions().size(), 1u);
    EXPECT_EQ(toolkit::picture_formats().find("qzx")->description, "Replaced probes");
    list.unregister_format("qzx");
    EXPECT_EQ(toolkit::picture_formats().find("qzx"), nullptr);
}

TEST(Registry, UnregisteringAClassDropsAllItsExtensions) {
    TFileFormatList list;
    list.register_format("qza", "Probe images", probe_class(), true, false, fkRaster, "");
    list.register_format("qzb", "", probe_class(), true, false, fkRaster, "Second probe");
    EXPECT_EQ(list.description(*list.find("qzb")), "Second probe");
    list.unregister_format("qza");
    ASSERT_NE(list.find("qzb"), nullptr);
    EXPECT_EQ(list.find("qzb")->owner->count, 1);
    EXPECT_NE(toolkit::picture_formats().find("qzb"), nullptr);
    list.register_format("qza", "", probe_class(), true, false, fkRaster, "");
    list.unregister_format(probe_class());
    EXPECT_TRUE(list.extensions().empty());
    EXPECT_EQ(toolkit::picture_formats().find("qza"), nullptr);
    EXPECT_EQ(toolkit::picture_formats().find("qzb"), nullptr);
}

}  // namespace
}  // namespace quorvel::readers
