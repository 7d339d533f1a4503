// Peak memory of one WSQ encode and one decode of a large print (a 4 x 4 tiling of the
// largest image, 0.75 bpp), each in a fresh process so that nothing the benchmark held before
// counts: the child reads its input, notes its peak resident size, runs the operation and
// reports how much the peak grew, in bytes per pixel.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "images.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace {

namespace fs = std::filesystem;
using quorvel::bench::Gray;

long peak_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::vector<unsigned char> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spill(const fs::path& path, const unsigned char* data, size_t size) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::vector<unsigned char> encode(const Gray& g) {
    quorvel::wsq::DiagCapture quiet;
    unsigned char* data = nullptr;
    int len = 0;
    if (quorvel::wsq::wsq_encode_1(&data, &len, 0.75f, g.px.data(), g.w, g.h, 8, 1000, nullptr))
        return {};
    std::vector<unsigned char> out(data, data + len);
    std::free(data);
    return out;
}

// Runs this program as `--peak what file` and reads back its "pixels grown_kib" line.
void measure(benchmark::State& state, const char* what, const fs::path& input) {
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --peak " +
                                what + " '" + input.string() + "'";
    double pixels = 0, grown = 0;
    for (auto _ : state) {
        std::FILE* child = popen(command.c_str(), "r");
        const bool read = child != nullptr && std::fscanf(child, "%lf %lf", &pixels, &grown) == 2;
        if (child == nullptr || pclose(child) != 0 || !read) {
            state.SkipWithError("peak child failed");
            return;
        }
    }
    state.counters["bytes_per_pixel"] = grown * 1024.0 / pixels;
    state.counters["peak_MiB"] = grown / 1024.0;
}

}  // namespace

namespace quorvel::bench {

void register_memory_benchmarks(const Gray& image) {
    static const fs::path folder = [&image] {
        const fs::path path = fs::temp_directory_path() / "quorvel-peak-bench";
        fs::create_directories(path);
        const Gray big = tiled(image, 4);
        std::string header = "P5 " + std::to_string(big.w) + " " + std::to_string(big.h) + " 255\n";
        std::ofstream(path / "print.pgm", std::ios::binary) << header;
        std::ofstream(path / "print.pgm", std::ios::binary | std::ios::app)
            .write(reinterpret_cast<const char*>(big.px.data()),
                   static_cast<std::streamsize>(big.px.size()));
        const std::vector<unsigned char> stream = encode(big);
        spill(path / "print.wsq", stream.data(), stream.size());
        return path;
    }();
    const std::string size = std::to_string(image.w * 4) + "x" + std::to_string(image.h * 4);
    benchmark::RegisterBenchmark(("peak_memory_encode/" + size).c_str(), [](benchmark::State& s) {
        measure(s, "encode", folder / "print.pgm");
    })->Iterations(1);
    benchmark::RegisterBenchmark(("peak_memory_decode/" + size).c_str(), [](benchmark::State& s) {
        measure(s, "decode", folder / "print.wsq");
    })->Iterations(1);
}

int run_peak_child(int argc, char** argv) {
    if (argc != 4) return 2;
    const bool encoding = std::strcmp(argv[2], "encode") == 0;
    if (encoding) {
        const Gray g = read_pgm(argv[3]);
        if (g.px.empty()) return 1;
        const long before = peak_kib();
        if (encode(g).empty()) return 1;
        std::printf("%.0f %ld\n", double(g.w) * g.h, peak_kib() - before);
        return 0;
    }
    const std::vector<unsigned char> stream = slurp(argv[3]);
    const long before = peak_kib();
    unsigned char* data = nullptr;
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    if (quorvel::wsq::wsq_decode_mem(&data, &w, &h, &d, &ppi, &lossy, stream.data(),
                                     static_cast<int>(stream.size())))
        return 1;
    std::free(data);
    std::printf("%.0f %ld\n", double(w) * h, peak_kib() - before);
    return 0;
}

}  // namespace quorvel::bench
