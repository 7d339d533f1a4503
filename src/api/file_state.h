// The state behind the two file exports: the library bitmap that CreateBMPFromFile hands out,
// the picture holder its picture-loader, icon and metafile routes load through, and the
// comment text a WSQ load or save leaves in the comment setting. Part of a Context
// (api/context.h); the exports use the default context's.
#pragma once

#include <string>
#include <unordered_set>

#include "toolkit/bitmap.h"
#include "toolkit/picture.h"

namespace quorvel::api {

struct FileState {
    // Owns the handle CreateBMPFromFile returns; the next successful load replaces it.
    toolkit::Bitmap library_bitmap;
    toolkit::Picture picture_holder;
    // The texts the library made for the comment setting (each WSQ load's or save's), one copy
    // of each distinct text, never freed: a host may keep a pointer ReadWSQ_comment gave for
    // the life of the process, and loading the same files again adds nothing. Null for null.
    char* keep_comment(const char* text) {
        if (text == nullptr) return nullptr;
        return const_cast<char*>(comments_.insert(text).first->c_str());
    }

private:
    std::unordered_set<std::string> comments_;  // node-based: a text never moves
};

// The default context's.
FileState& file_state();

// The library's start-up, in order: library bitmap and picture holder, the property dialogs,
// the readers registered with the picture loader, the container's PSD decoder handed in, the
// container's last error cleared. Runs once; the shared library runs it at load and every file
// export before its work.
void start_library();

}  // namespace quorvel::api
