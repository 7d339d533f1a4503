// WSQ_decode_stream as a host calls it: the output buffer of one call is handed back to the
// next, which frees it; the comment is the caller's to free.
#include <quorvel/quorvel.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "wsq/diag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX ||
        quorvel::fuzz::wsq_frame_exceeds(data, size, quorvel::fuzz::kMaxWsqPixels))
        return 0;
    quorvel::wsq::DiagCapture quiet;
    // The export takes a non-const pointer: give it a copy so that a write would be caught.
    std::vector<unsigned char> copy(data, data + size);

    static unsigned char* out = nullptr;
    int width = 0, height = 0, ppi = 0;
    char* comment = nullptr;
    WSQ_decode_stream(copy.empty() ? nullptr : copy.data(), static_cast<int>(size), &out, &width,
                      &height, &ppi, &comment);
    std::free(comment);
    return 0;
}
