// `roundtrip`: encode and decode each image at each bitrate and report what it cost: stream
// size, compression ratio and the peak signal-to-noise ratio of the decoded image.
#include <cmath>
#include <cstdio>

#include "commands.h"

namespace quorvel::tool {
namespace {

// Peak signal-to-noise ratio in decibels; infinite for identical images.
double psnr(const GrayImage& original, const GrayImage& decoded) {
    double squared = 0.0;
    for (size_t i = 0; i < original.pixels.size(); ++i) {
        const double d = static_cast<double>(original.pixels[i]) - decoded.pixels[i];
        squared += d * d;
    }
    if (squared == 0.0) return INFINITY;
    const double mse = squared / static_cast<double>(original.pixels.size());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

bool roundtrip_one(const std::string& file, const GrayImage& image, double bitrate) {
    EncodeRequest request;
    request.bitrate = bitrate;
    std::vector<uint8_t> stream;
    DecodedImage decoded;
    std::string error;
    if (!encode_wsq(image, request, stream, error) || !decode_wsq(stream, decoded, error)) {
        report_error(file + " at " + std::to_string(bitrate) + ": " + error);
        return false;
    }
    if (decoded.image.width != image.width || decoded.image.height != image.height) {
        report_error(file + ": decoded size differs from the original");
        return false;
    }
    std::printf("%-32s %7.2f %10zu %8.2f %9.2f\n", file.c_str(), bitrate, stream.size(),
                static_cast<double>(image.pixels.size()) / static_cast<double>(stream.size()),
                psnr(image, decoded.image));
    return true;
}

}  // namespace

int run_roundtrip(const std::vector<std::string>& files, const std::vector<double>& bitrates) {
    std::printf("%-32s %7s %10s %8s %9s\n", "file", "bitrate", "bytes", "ratio", "PSNR(dB)");
    int status = 0;
    for (const std::string& file : files) {
        GrayImage image;
        std::string error;
        if (!read_pgm(file, image, error)) {
            report_error(error);
            status = 1;
            continue;
        }
        for (double bitrate : bitrates) {
            if (!roundtrip_one(file, image, bitrate)) status = 1;
        }
        std::fflush(stdout);
    }
    return status;
}

}  // namespace quorvel::tool
