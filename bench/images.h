// The images the benchmark runs on: the bundled samples and, beside the repository, the shared
// real prints when present. Binary PGM with maxval 255 only.
#pragma once

#include <string>
#include <vector>

namespace quorvel::bench {

struct Gray {
    std::string name;  // file name without its directory
    int w = 0, h = 0;
    std::vector<unsigned char> px;
};

// Empty pixels when the file is absent or not a binary 8-bit PGM.
Gray read_pgm(const std::string& path);

// The large-image thread benchmarks (threads_bench.cpp), on a tiling of `image`.
void register_thread_benchmarks(const Gray& image);

// The bundled samples, then ../shared/data/fingerprints/*.pgm, each list sorted by name.
std::vector<Gray> bench_images(const std::string& source_dir);

}  // namespace quorvel::bench
