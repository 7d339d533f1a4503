#include "api/context.h"
#include "raster/bmg_error.h"
#include "raster/codecs/codecs.h"
#include "readers/formats/psd_record.h"
#include "readers/registry.h"

namespace quorvel::api {

void start_library() {
    static const bool started = [] {
        default_context();
        // The dialogs are not made here but on first use: their edits take the user's decimal
        // separator when they are made, and a host sets its locale only after loading us.
        readers::file_format_list();
        // The container's PSD codec runs the extended readers' Photoshop class.
        raster::SetPsdDecoder(readers::psd_to_record);
        raster::SetLastImageError(raster::BMG_OK);
        return true;
    }();
    (void)started;
}

}  // namespace quorvel::api
