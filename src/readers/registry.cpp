#include "readers/registry.h"

#include <algorithm>

#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"

namespace quorvel::readers {
namespace {

using toolkit::GraphicClass;

bool is_toolkit_class(const GraphicClass& c) {
    return &c == &toolkit::icon_class() || &c == &toolkit::metafile_class() ||
           &c == &toolkit::jpeg_class() || &c == &toolkit::bitmap_class();
}

void fill(TFileFormatList& list) {
    for (const FormatRow& row : format_table()) {
        if (row.graphic_class == nullptr) continue;
        const GraphicClass& c = row.graphic_class();
        list.register_format(row.extension, row.common, c, !is_toolkit_class(c), false, row.kinds,
                             row.individual);
    }
}

}  // namespace

void TFileFormatList::register_format(const std::string& extension,
                                      const std::string& common_description,
                                      const GraphicClass& graphic_class, bool load_flag,
                                      bool allow_replace, uint8_t kinds,
                                      const std::string& individual_description) {
    const std::string key = toolkit::lower_ascii(extension);
    if (find(key) != nullptr) {
        if (!allow_replace)
            throw toolkit::EInvalidGraphic(
                toolkit::format_message("Attempt to register %s twice.", key));
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
    extensions_.push_back(
        ExtensionEntry{key, individual_description, kinds, load_flag, owner->get()});
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
