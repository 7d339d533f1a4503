// The WSQ decoder and the comment scan on arbitrary bytes.
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX ||
        quorvel::fuzz::wsq_frame_exceeds(data, size, quorvel::fuzz::kMaxWsqPixels))
        return 0;
    quorvel::wsq::DiagCapture quiet;

    unsigned char* pixels = nullptr;
    int width = 0, height = 0, depth = 0, ppi = 0, lossy = 0;
    const int code = quorvel::wsq::wsq_decode_mem(&pixels, &width, &height, &depth, &ppi, &lossy,
                                                  data, static_cast<int>(size));
    if (code == 0) {
        // A decoded image must be as large as it says: touch its last byte.
        if (pixels == nullptr || width <= 0 || height <= 0) std::abort();
        volatile unsigned char last = pixels[static_cast<size_t>(width) * height - 1];
        (void)last;
    }
    std::free(pixels);

    char* comment = nullptr;
    quorvel::wsq::scan_comments(data, size, &comment);
    std::free(comment);
    return 0;
}
