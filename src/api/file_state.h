// The state behind the two file exports: the library bitmap that CreateBMPFromFile hands out,
// the picture holder its picture-loader, icon and metafile routes load through, and the
// comment texts WSQ saves leave in the comment setting. One process-wide instance.
#pragma once

#include <deque>
#include <string>

#include "toolkit/bitmap.h"
#include "toolkit/picture.h"

namespace quorvel::api {

struct FileState {
    // Owns the handle CreateBMPFromFile returns; the next successful load replaces it.
    toolkit::Bitmap library_bitmap;
    toolkit::Picture picture_holder;
    // The setting points into one of these; a later save adds another rather than freeing
    // the text a host may still hold a pointer to.
    std::deque<std::string> saved_comments;
};

FileState& file_state();

// The library's start-up, in order: library bitmap and picture holder, the property dialogs,
// the readers registered with the picture loader, the container's last error cleared. Runs
// once; the shared library runs it at load and every file export before its work.
void start_library();

}  // namespace quorvel::api
