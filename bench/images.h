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

// `g` repeated `tiles` times across and down.
Gray tiled(const Gray& g, int tiles);

// The large-image thread benchmarks (threads_bench.cpp), on a tiling of `image`.
void register_thread_benchmarks(const Gray& image);

// Peak memory of a WSQ encode and decode of a 4 x 4 tiling of `image`, each measured in a
// fresh process (this program run with --peak).
void register_memory_benchmarks(const Gray& image);
// The --peak child's work (argv: program, --peak, encode|decode, file); its exit status.
int run_peak_child(int argc, char** argv);

// The bundled samples, then ../shared/data/fingerprints/*.pgm, each list sorted by name.
std::vector<Gray> bench_images(const std::string& source_dir);

}  // namespace quorvel::bench
