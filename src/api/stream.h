// The in-memory stream functions behind WSQ_encode_stream and WSQ_decode_stream, with the
// first-call flags passed in so that each caller's state is explicit.
#pragma once

#include "api/settings.h"

namespace quorvel::api {

// Frees the caller's previous stream (not on the very first call), encodes, clears the flag;
// always 1. On an encoder failure *out is left null (or as passed on the first call).
int encode_stream(StreamFlags& flags, const unsigned char* pixels, int width, int height,
                  double bitrate, int ppi, const char* comment, unsigned char** out,
                  int* out_length);

// Frees the caller's previous image (not on the very first call), decodes, then scans the
// stream's comments; 1, or the marker reader's code when the stream does not begin with SOI
// and a readable marker (the flag then stays as it was).
int decode_stream(StreamFlags& flags, const unsigned char* data, int length, unsigned char** out,
                  int* width, int* height, int* ppi, char** comment);

}  // namespace quorvel::api
