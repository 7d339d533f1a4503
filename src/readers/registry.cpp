#include "readers/registry.h"

#include <algorithm>

#include "readers/reader_classes.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers {
namespace {

using toolkit::GraphicClass;

struct Row {
    const char* extension;
    const GraphicClass& (*graphic_class)();
    const char* common;      // common description, "" for none
    const char* individual;  // individual description, "" for none
    uint8_t kinds;
};

// The registry in the order it is filled at load.
const Row kRows[] = {
    {"ico", toolkit::icon_class, "Windows icons", "", fkRaster},
    {"wmf", toolkit::metafile_class, "Windows metafiles", "", fkVector},
    {"emf", toolkit::metafile_class, "Windows metafiles", "Windows enhanced meta files", fkVector},
    {"jfif", toolkit::jpeg_class, "JPG images", "JFIF images", fkRaster},
    {"rle", toolkit::bitmap_class, "Windows bitmaps", "Run length encoded Windows bitmaps", fkRaster},
    {"dib", toolkit::bitmap_class, "", "Device independant Windows bitmaps", fkRaster},
    {"win", targa_graphic_class, "Truevision images", "", fkRaster},
    {"vst", targa_graphic_class, "", "", fkRaster},
    {"vda", targa_graphic_class, "", "", fkRaster},
    {"tga", targa_graphic_class, "", "", fkRaster},
    {"icb", targa_graphic_class, "", "", fkRaster},
    {"tiff", tiff_graphic_class, "Tagged image file format images", "Macintosh TIFF images", fkRaster | fkMultiImage},
    {"tif", tiff_graphic_class, "", "PC TIF images", fkRaster | fkMultiImage},
    {"fax", tiff_graphic_class, "", "GFI fax images", fkRaster | fkMultiImage},
    {"eps", eps_graphic_class, "Encapsulated Postscript images", "", fkRaster},
    {"pcx", pcx_graphic_class, "ZSoft Paintbrush images", "", fkRaster},
    {"pcc", pcx_graphic_class, "", "", fkRaster},
    {"scr", pcx_graphic_class, "", "Word 5.x screen capture images", fkRaster},
    {"rpf", rla_graphic_class, "Alias/Wavefront images", "", fkRaster},
    {"rla", rla_graphic_class, "", "", fkRaster},
    {"sgi", sgi_graphic_class, "SGI images", "SGI true color images", fkRaster},
    {"rgba", sgi_graphic_class, "", "SGI true color images with alpha", fkRaster},
    {"rgb", sgi_graphic_class, "", "SGI true color images", fkRaster},
    {"bw", sgi_graphic_class, "", "SGI black/white images", fkRaster},
    {"psd", psd_graphic_class, "Photoshop images", "", fkRaster | fkLayered},
    {"pdd", psd_graphic_class, "", "", fkRaster | fkLayered},
    {"ppm", ppm_graphic_class, "Portable map images", "Portable pixel map images", fkRaster},
    {"pgm", ppm_graphic_class, "", "Portable gray map images", fkRaster},
    {"pbm", ppm_graphic_class, "", "Portable bitmap images", fkRaster},
    {"cel", autodesk_graphic_class, "Autodesk images", "", fkRaster},
    {"pic", autodesk_graphic_class, "Autodesk images", "", fkRaster},
    {"pcd", pcd_graphic_class, "Kodak Photo-CD images", "", fkRaster},
    {"cut", cut_graphic_class, "Dr. Halo images", "", fkRaster},
    {"psp", psp_graphic_class, "Paintshop Pro images", "", fkRaster | fkVector},
    {"png", png_graphic_class, "Portable network graphic images", "", fkRaster},
};

bool is_toolkit_class(const GraphicClass& c) {
    return &c == &toolkit::icon_class() || &c == &toolkit::metafile_class() || &c == &toolkit::jpeg_class() ||
           &c == &toolkit::bitmap_class();
}

void fill(TFileFormatList& list) {
    for (const Row& row : kRows) {
        const GraphicClass& c = row.graphic_class();
        list.register_format(row.extension, row.common, c, !is_toolkit_class(c), false, row.kinds, row.individual);
    }
}

}  // namespace

void TFileFormatList::register_format(const std::string& extension, const std::string& common_description,
                                      const GraphicClass& graphic_class, bool load_flag, bool allow_replace,
                                      uint8_t kinds, const std::string& individual_description) {
    const std::string key = toolkit::lower_ascii(extension);
    if (find(key) != nullptr) {
        if (!allow_replace)
            throw toolkit::EInvalidGraphic(toolkit::format_message("Attempt to register %s twice.", key));
        unregister_format(key);
    }
    auto owner = std::find_if(classes_.begin(), classes_.end(),
                              [&](const auto& c) { return c->graphic_class == &graphic_class; });
    if (owner == classes_.end()) {
        classes_.push_back(std::make_unique<ClassEntry>(ClassEntry{&graphic_class, {}, 0}));
        owner = classes_.end() - 1;
    }
    if (!common_description.empty()) (*owner)->description = common_description;
    ++(*owner)->count;
    extensions_.push_back(ExtensionEntry{key, individual_description, kinds, load_flag, owner->get()});
    toolkit::picture_formats().register_format(key, description(extensions_.back()), graphic_class);
}

void TFileFormatList::unregister_format(const std::string& extension) {
    const std::string key = toolkit::lower_ascii(extension);
    auto entry = std::find_if(extensions_.begin(), extensions_.end(),
                              [&](const ExtensionEntry& e) { return e.extension == key; });
    if (entry == extensions_.end()) return;
    ClassEntry* owner = entry->owner;
    extensions_.erase(entry);
    toolkit::picture_formats().unregister_extension(key);
    if (--owner->count > 0) return;
    toolkit::picture_formats().unregister_class(*owner->graphic_class);
    std::erase_if(classes_, [&](const auto& c) { return c.get() == owner; });
}

void TFileFormatList::unregister_format(const GraphicClass& graphic_class) {
    std::vector<std::string> keys;
    for (const ExtensionEntry& e : extensions_)
        if (e.owner->graphic_class == &graphic_class) keys.push_back(e.extension);
    for (const std::string& key : keys) unregister_format(key);
}

const ExtensionEntry* TFileFormatList::find(const std::string& extension) const {
    const std::string key = toolkit::lower_ascii(extension);
    for (const ExtensionEntry& e : extensions_)
        if (e.extension == key) return &e;
    return nullptr;
}

std::string TFileFormatList::description(const ExtensionEntry& entry) const {
    return entry.description.empty() ? entry.owner->description : entry.description;
}

TFileFormatList& file_format_list() {
    static TFileFormatList list;
    static const bool filled = (fill(list), true);
    (void)filled;
    return list;
}

}  // namespace quorvel::readers
