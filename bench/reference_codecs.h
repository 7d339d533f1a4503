// The codecs the WSQ codec is measured against, in memory on 8-bit gray pixels: OpenJPEG's
// 9/7 irreversible wavelet (one layer at 15:1, raw codestream) and libjpeg-turbo at quality 75.
// Each returns an empty vector on failure.
#pragma once

#include <vector>

namespace quorvel::bench {

using Bytes = std::vector<unsigned char>;

Bytes openjpeg_encode(const unsigned char* px, int w, int h);
Bytes openjpeg_decode(const Bytes& stream);

Bytes jpeg_encode(const unsigned char* px, int w, int h);
Bytes jpeg_decode(const Bytes& stream);

}  // namespace quorvel::bench
