// The two file functions of the export table, also under their names with a leading
// underscore. This unit also starts the library when the shared library is loaded; each
// export starts it as well, because a static link may drop that initialiser.
#include <string>

#include <quorvel/quorvel.h>

#include "api/file_state.h"
#include "api/guard.h"
#include "api/load.h"
#include "api/save.h"

namespace {

[[maybe_unused]] const bool g_started_at_load = (quorvel::api::start_library(), true);

}  // namespace

extern "C" {

QUORVEL_API HBITMAP CreateBMPFromFile(char* file_name) {
    return quorvel::api::guarded<HBITMAP>(nullptr, [&] {
        quorvel::api::start_library();
        return quorvel::api::load_file_guarded(quorvel::api::file_state(),
                                               quorvel::api::library_state().settings, file_name);
    });
}

QUORVEL_API int SaveBMPToFile(HBITMAP bitmap, char* file_name, int type) {
    return quorvel::api::guarded(1, [&] {
        quorvel::api::start_library();
        // The host learns nothing of the outcome: it was shown to the user.
        std::string reason;
        quorvel::api::save_file(quorvel::api::file_state(), quorvel::api::library_state().settings,
                                bitmap, file_name, type, reason);
        return 1;
    });
}

QUORVEL_API HBITMAP _CreateBMPFromFile(char*) __attribute__((alias("CreateBMPFromFile")));
QUORVEL_API int _SaveBMPToFile(HBITMAP, char*, int) __attribute__((alias("SaveBMPToFile")));

}  // extern "C"
