#include "api/file_state.h"
#include "api/settings.h"
#include "raster/bmg_error.h"
#include "readers/registry.h"

namespace quorvel::api {

// Never destroyed: its bitmaps live in the GDI object table, which may be gone by the time
// static destructors would run; the process takes everything with it.
FileState& file_state() {
    static FileState* const state = new FileState;
    return *state;
}

void start_library() {
    static const bool started = [] {
        library_state();
        file_state();
        // The dialogs are not made here but on first use: their edits take the user's decimal
        // separator when they are made, and a host sets its locale only after loading us.
        readers::file_format_list();
        raster::SetLastImageError(raster::BMG_OK);
        return true;
    }();
    (void)started;
}

}  // namespace quorvel::api
