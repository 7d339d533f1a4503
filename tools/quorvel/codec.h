// The tool's calls into the WSQ codec. The codec's own standard-error lines are held back and
// shown only when a call fails (or always, with --verbose), so that reports stay readable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgm.h"

namespace quorvel::tool {

struct EncodeRequest {
    double bitrate = 0.75;
    int ppi = 500;
    bool has_comment = false;
    std::string comment;
};

struct DecodedImage {
    GrayImage image;
    int ppi = -1;
};

// Every codec line goes to standard error as it is written when true.
void set_verbose(bool verbose);
bool verbose();

// False, with the codec's message in `error`, when the encoder refuses the image.
bool encode_wsq(const GrayImage& image, const EncodeRequest& request, std::vector<uint8_t>& stream,
                std::string& error);
bool decode_wsq(const std::vector<uint8_t>& stream, DecodedImage& decoded, std::string& error);

bool read_whole_file(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string& error);

}  // namespace quorvel::tool
