// The extended readers' format registry: which reader class loads which extension, with the
// descriptions file dialogs show. Filled once from the format table's registered rows and
// mirrored into the toolkit's picture loader.
#pragma once

#include <cstdint>
#include <string>
#include <memory>
#include <vector>

#include "readers/format_table.h"
#include "toolkit/graphic.h"

namespace quorvel::readers {

struct ClassEntry {
    const toolkit::GraphicClass* graphic_class;
    std::string description;  // the common description
    int count = 0;            // extensions that point to the class
};

struct ExtensionEntry {
    std::string extension;    // lower case
    std::string description;  // the individual description, may be empty
    uint8_t kinds = 0;
    bool load_flag = false;
    ClassEntry* owner = nullptr;
};

class TFileFormatList {
public:
    TFileFormatList() = default;
    TFileFormatList(const TFileFormatList&) = delete;
    TFileFormatList& operator=(const TFileFormatList&) = delete;

    // Adds the extension (throws EInvalidGraphic "Attempt to register %s twice." for a known
    // extension unless replacing is allowed), finds or adds the class entry and registers the
    // extension with the picture loader.
    void register_format(const std::string& extension, const std::string& common_description,
                         const toolkit::GraphicClass& graphic_class, bool load_flag,
                         bool allow_replace, uint8_t kinds,
                         const std::string& individual_description);
    void unregister_format(const std::string& extension);
    void unregister_format(const toolkit::GraphicClass& graphic_class);

    const std::vector<ExtensionEntry>& extensions() const { return extensions_; }
    const ExtensionEntry* find(const std::string& extension) const;
    // What the picture loader shows for an extension: the individual description, else the
    // class's common one.
    std::string description(const ExtensionEntry& entry) const;

private:
    std::vector<ExtensionEntry> extensions_;
    std::vector<std::unique_ptr<ClassEntry>> classes_;
};

// The library's registry, filled (and the picture loader told) on first use, which the
// library's start-up makes happen at load.
TFileFormatList& file_format_list();

}  // namespace quorvel::readers
