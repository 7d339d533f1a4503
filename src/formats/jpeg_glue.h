// libjpeg's error manager, one for every libjpeg user. libjpeg reports a fatal error through
// error_exit, which here keeps libjpeg's text and jumps back to the caller's recovery point
// (set with setjmp(errors.recovery) in the frame that called libjpeg); only plain data may live
// across that point, so no destructor is skipped. Nothing is printed: each caller turns the
// failure into its own code or message.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace quorvel::formats {

struct JpegErrors {
    jpeg_error_mgr base;  // first, so libjpeg's pointer to it leads back here
    std::jmp_buf recovery;
    char message[JMSG_LENGTH_MAX];
    // A stream that ends early would come back as a success with gray rows at the bottom: when
    // set, libjpeg's premature-end warning fails the call as an error does.
    bool end_of_data_fails;
    // Set when the jump came from that warning.
    bool ended_early;
    // Receives the text of the first warning of each image; null drops warnings (libjpeg
    // recovers from them on its own).
    void (*warn)(const char* text);
};

// Sets up `errors` and returns what goes into a compress or decompress struct's `err`.
jpeg_error_mgr* install_jpeg_errors(JpegErrors& errors, bool end_of_data_fails,
                                    void (*warn)(const char* text) = nullptr);

// Working memory libjpeg may take for one image (a progressive file keeps every coefficient):
// the load limits' decoder memory.
long jpeg_memory_limit();

// The recovery point's manager, for callers (source managers) that fail a call themselves.
JpegErrors& jpeg_errors_of(j_common_ptr cinfo);

// True when the failure was a missing start-of-image marker: the bytes are not JPEG at all.
bool jpeg_not_a_jpeg(const JpegErrors& errors);

}  // namespace quorvel::formats
