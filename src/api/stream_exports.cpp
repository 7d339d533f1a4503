// The two stream functions of the export table, also under their names with a leading
// underscore, which is how hosts resolve them.
#include <quorvel/quorvel.h>

#include "api/guard.h"
#include "api/stream.h"

extern "C" {

QUORVEL_API int WSQ_encode_stream(unsigned char* pixels, int width, int height, double bitrate,
                                  int ppi, char* comment, unsigned char** out, int* out_length) {
    return quorvel::api::guarded(1, [&] {
        return quorvel::api::encode_stream(quorvel::api::library_state().stream, pixels, width,
                                           height, bitrate, ppi, comment, out, out_length);
    });
}

QUORVEL_API int WSQ_decode_stream(unsigned char* data, int length, unsigned char** out, int* width,
                                  int* height, int* ppi, char** comment) {
    return quorvel::api::guarded(1, [&] {
        return quorvel::api::decode_stream(quorvel::api::library_state().stream, data, length, out,
                                           width, height, ppi, comment);
    });
}

QUORVEL_API int _WSQ_encode_stream(unsigned char*, int, int, double, int, char*, unsigned char**,
                                   int*) __attribute__((alias("WSQ_encode_stream")));
QUORVEL_API int _WSQ_decode_stream(unsigned char*, int, unsigned char**, int*, int*, int*, char**)
    __attribute__((alias("WSQ_decode_stream")));

}  // extern "C"
