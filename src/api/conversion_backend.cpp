// The conversion job's default backend: the library's own load and save entry points, with
// the save's own status, so that the window and `quorvel batch` know what was written.
#include <quorvel/quorvel.h>

#include "api/file_state.h"
#include "api/guard.h"
#include "api/save.h"
#include "ui/conversion_job.h"

namespace quorvel::ui {
namespace {

class LibraryBackend : public ConversionBackend {
public:
    HBITMAP load(const std::string& file_name) override {
        std::string name = file_name;
        return CreateBMPFromFile(name.data());
    }
    bool save(HBITMAP bitmap, const std::string& target, int type, std::string& reason) override {
        reason = "out of memory";
        return api::guarded(false, [&] {
            api::start_library();
            return api::save_file(api::file_state(), api::library_state().settings, bitmap,
                                  target.c_str(), type, reason);
        });
    }
};

}  // namespace

ConversionBackend& library_backend() {
    static LibraryBackend backend;
    return backend;
}

}  // namespace quorvel::ui
