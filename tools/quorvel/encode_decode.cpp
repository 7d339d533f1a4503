// `encode` and `decode`: one PGM image to one WSQ file and back.
#include <cstdio>

#include "commands.h"

namespace quorvel::tool {

void report_error(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n", message.c_str());
}

int run_encode(const std::string& input, const std::string& output, const EncodeRequest& request) {
    GrayImage image;
    std::vector<uint8_t> stream;
    std::string error;
    if (!read_pgm(input, image, error) || !encode_wsq(image, request, stream, error) ||
        !write_whole_file(output, stream, error)) {
        report_error(error);
        return 1;
    }
    std::printf("%s: %d x %d, %zu bytes, ratio %.2f\n", output.c_str(), image.width, image.height,
                stream.size(),
                static_cast<double>(image.pixels.size()) / static_cast<double>(stream.size()));
    return 0;
}

int run_decode(const std::string& input, const std::string& output) {
    std::vector<uint8_t> stream;
    DecodedImage decoded;
    std::string error;
    if (!read_whole_file(input, stream, error)) {
        report_error(error);
        return 1;
    }
    if (!decode_wsq(stream, decoded, error)) {
        report_error(input + ": " + error);
        return 1;
    }
    if (!write_pgm(output, decoded.image, error)) {
        report_error(error);
        return 1;
    }
    std::printf("%s: %d x %d, %d ppi\n", output.c_str(), decoded.image.width, decoded.image.height,
                decoded.ppi);
    return 0;
}

}  // namespace quorvel::tool
