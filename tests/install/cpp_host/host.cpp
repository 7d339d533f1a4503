// A C++ host built against an installed Quorvel with find_package: encodes and decodes on
// two threads through quorvel.hpp, catches the library's exception type, and saves and loads
// a PNG file.
#include <quorvel/quorvel.hpp>

#include <cmath>
#include <cstdio>
#include <thread>

namespace {

// Curved ridges, about as a print looks to the codec.
std::vector<std::uint8_t> ridges(int w, int h) {
    std::vector<std::uint8_t> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double r = std::hypot(x - w / 2.0, y - h / 3.0);
            pixels[static_cast<size_t>(y) * w + x] =
                static_cast<std::uint8_t>(128 + 90 * std::sin(r / 2.5) + (x * 7 + y * 13) % 9);
        }
    return pixels;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;  // a PNG file name to write and read back
    quorvel::Image images[2];
    std::thread a(
        [&] { images[0] = quorvel::decode(quorvel::encode(ridges(200, 150), 200, 150)); });
    std::thread b([&] {
        images[1] = quorvel::decode(quorvel::encode(ridges(150, 200), 150, 200, {2.25, 1000, "b"}));
    });
    a.join();
    b.join();
    try {
        quorvel::encode(ridges(20, 20), 20, 20);
        return 1;
    } catch (const quorvel::Error& e) {
        std::printf("cpp host: error %d: %s\n", e.code(), e.what());
    }
    quorvel::Raster raster;
    raster.pixels = images[0].pixels;
    raster.width = images[0].width;
    raster.height = images[0].height;
    quorvel::save(raster, argv[1]);
    const quorvel::Raster back = quorvel::load(argv[1]);
    std::printf("cpp host: png %dx%d, %d channel(s), %s\n", back.width, back.height, back.channels,
                back.pixels == raster.pixels ? "same pixels" : "other pixels");
    const quorvel::StreamInfo info = quorvel::info(quorvel::encode(ridges(100, 100), 100, 100));
    std::printf("cpp host: version %s, %dx%d %d ppi, %dx%d %d ppi \"%s\", %zu segments\n",
                quorvel::version(), images[0].width, images[0].height, images[0].ppi,
                images[1].width, images[1].height, images[1].ppi,
                images[1].comment.value_or("").c_str(), info.segments.size());
    return 0;
}
