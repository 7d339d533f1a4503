// Writes the bundled sample images: fingerprint-like ridge patterns in the sizes WSQ users
// meet, as binary PGM files in the directory given (samples/ by default).
#include <cstdio>
#include <string>

#include "pgm.h"
#include "support/ridge_pattern.h"

namespace {

struct Sample {
    int width;
    int height;
    unsigned seed;
};

// Small and large plain impressions, and the odd size the codec's geometry must handle.
constexpr Sample kSamples[] = {{300, 300, 11}, {545, 622, 23}, {800, 750, 37}};

}  // namespace

int main(int argc, char** argv) {
    const std::string directory = argc > 1 ? argv[1] : "samples";
    int status = 0;
    for (const Sample& sample : kSamples) {
        quorvel::tool::GrayImage image;
        image.width = sample.width;
        image.height = sample.height;
        image.pixels = quorvel::testing::ridge_pattern(sample.width, sample.height, sample.seed);
        const std::string path = directory + "/ridges_" + std::to_string(sample.width) + "x" +
                                 std::to_string(sample.height) + ".pgm";
        std::string error;
        if (!quorvel::tool::write_pgm(path, image, error)) {
            std::fprintf(stderr, "samplegen: %s\n", error.c_str());
            status = 1;
            continue;
        }
        std::printf("%s\n", path.c_str());
    }
    return status;
}
