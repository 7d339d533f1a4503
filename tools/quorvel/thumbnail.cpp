// `thumbnail`: a PNG of an image scaled to fit a square, for the desktop's thumbnailers, which
// name the input by path (a WSQ file may lack its extension) and the output without one.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include <quorvel/quorvel.hpp>

#include "codec.h"
#include "commands.h"

namespace quorvel::tool {
namespace {

bool starts_as_wsq(const std::string& path) {
    char head[4] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(head, sizeof head);
    return file &&
           quorvel::looks_like_wsq(reinterpret_cast<const std::uint8_t*>(head), sizeof head);
}

// WSQ by its first bytes whatever the name; everything else by extension.
Raster load_any(const std::string& path) {
    if (!starts_as_wsq(path)) return quorvel::load(path);
    std::vector<std::uint8_t> stream;
    std::string error;
    if (!read_whole_file(path, stream, error)) throw Error(kLoadFailed, error);
    Image image = quorvel::decode(stream);
    Raster raster;
    raster.pixels = std::move(image.pixels);
    raster.width = image.width;
    raster.height = image.height;
    return raster;
}

// The average of the source pixels under one target pixel, for every channel.
void average_box(const Raster& in, int x0, int x1, int y0, int y1, std::uint8_t* out) {
    for (int c = 0; c < in.channels; ++c) {
        unsigned long long sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                sum += in.pixels[(static_cast<std::size_t>(y) * in.width + x) * in.channels + c];
        const unsigned long long count = static_cast<unsigned long long>(x1 - x0) * (y1 - y0);
        out[c] = static_cast<std::uint8_t>((sum + count / 2) / count);
    }
}

// Fits the image into size x size keeping its proportions; never enlarges it.
Raster fit(const Raster& in, int size) {
    const double scale = std::min(
        {1.0, static_cast<double>(size) / in.width, static_cast<double>(size) / in.height});
    Raster out;
    out.channels = in.channels;
    out.width = std::max(1, static_cast<int>(in.width * scale + 0.5));
    out.height = std::max(1, static_cast<int>(in.height * scale + 0.5));
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * out.channels);
    for (int y = 0; y < out.height; ++y) {
        const int y0 = static_cast<int>(static_cast<long long>(y) * in.height / out.height);
        const int y1 = static_cast<int>(static_cast<long long>(y + 1) * in.height / out.height);
        for (int x = 0; x < out.width; ++x) {
            const int x0 = static_cast<int>(static_cast<long long>(x) * in.width / out.width);
            const int x1 = static_cast<int>(static_cast<long long>(x + 1) * in.width / out.width);
            average_box(in, x0, x1, y0, y1,
                        &out.pixels[(static_cast<std::size_t>(y) * out.width + x) * out.channels]);
        }
    }
    return out;
}

// save() picks the type by extension and the thumbnailer's output name has none: the PNG is
// written beside it and renamed over it.
void save_png(const Raster& image, const std::string& output) {
    const std::string png = output + ".quorvel-thumbnail.png";
    quorvel::save(image, png);
    if (std::rename(png.c_str(), output.c_str()) != 0) {
        std::remove(png.c_str());
        throw Error(kSaveFailed, output + ": cannot replace it with the thumbnail");
    }
}

}  // namespace

int run_thumbnail(const std::string& input, const std::string& output, int size) {
    try {
        save_png(fit(load_any(input), size), output);
        return 0;
    } catch (const Error& e) {
        report_error(e.what());
        return 1;
    }
}

}  // namespace quorvel::tool
