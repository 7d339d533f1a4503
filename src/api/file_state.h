// The state behind the two file exports: the library bitmap that CreateBMPFromFile hands out,
// the picture holder its picture-loader, icon and metafile routes load through, and the
// comment text a WSQ load or save leaves in the comment setting. One process-wide instance.
#pragma once

#include <cstdlib>
#include <memory>

#include "toolkit/bitmap.h"
#include "toolkit/picture.h"

namespace quorvel::api {

struct FileState {
    // Owns the handle CreateBMPFromFile returns; the next successful load replaces it.
    toolkit::Bitmap library_bitmap;
    toolkit::Picture picture_holder;
    // The text the library made for the comment setting (the last WSQ load's or save's). A
    // pointer ReadWSQ_comment gave stays valid until the next load or save replaces it:
    // keeping every text would grow without end over an archive of millions of files.
    std::unique_ptr<char, decltype(&std::free)> library_comment{nullptr, &std::free};
};

FileState& file_state();

// The library's start-up, in order: library bitmap and picture holder, the property dialogs,
// the readers registered with the picture loader, the container's last error cleared. Runs
// once; the shared library runs it at load and every file export before its work.
void start_library();

}  // namespace quorvel::api
