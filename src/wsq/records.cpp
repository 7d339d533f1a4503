// The decoder's process-wide state.
#include "wsq/records.h"

namespace quorvel::wsq {

DecoderState& process_decoder_state() {
    static DecoderState state;
    return state;
}

}  // namespace quorvel::wsq
