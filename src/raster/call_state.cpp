#include "raster/call_state.h"

namespace quorvel::raster {

// Never destroyed: readers may still record an error while the process exits.
CallState& call_state() {
    static CallState* const process = new CallState;
    return platform::PerCall<CallState>::current(*process);
}

}  // namespace quorvel::raster
