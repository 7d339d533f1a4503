// The WSQ codec as the rest of the library sees it: encode gray pixels to a stream, decode a
// stream to gray pixels, and pull the comment out of a stream. Returns follow the codec's
// convention: 0 on success, a negative code (and one line through diag()) on failure.
#pragma once

#include <cstddef>

namespace quorvel::wsq {

// Encodes width x height 8-bit gray pixels (top row first). On success *odata is a malloc'd
// stream of *olen bytes that the caller frees; on failure neither output is written.
int wsq_encode_1(unsigned char** odata, int* olen, float r_bitrate, const unsigned char* idata,
                 int w, int h, int d, int ppi, const char* comment_text);

// Decodes a stream. On success *odata is a malloc'd image of w x h bytes (top row first) that
// the caller frees; on failure none of the outputs is written.
int wsq_decode_mem(unsigned char** odata, int* ow, int* oh, int* od, int* oppi, int* lossyflag,
                   const unsigned char* idata, int ilen);

// Comment extraction shared by the stream export and the file adapter: SOI, then markers of
// any kind up to the first SOB; every COM segment read replaces *comment with a malloc'd copy
// of its text (a text this scan allocated and then replaced is freed; the value the caller
// passed in is never freed, and stays when the stream has no comment). Returns 0, or the marker
// reader's code when the SOI marker or the marker after it cannot be read; a failure later in the
// scan ends it quietly with 0.
int scan_comments(const unsigned char* data, size_t length, char** comment);

}  // namespace quorvel::wsq
