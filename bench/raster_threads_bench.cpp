// The C++ API's raster calls on one and on two threads at once: loads of PNG, TIFF and JPEG
// files, saves to them, and conversions, each thread on its own target file. Reported as
// files per second over all threads, in real time; two threads on two free cores should come
// close to twice one. BM_Ceiling, arithmetic that shares nothing, shows how much of a second
// core the machine gives at the time (on a shared machine, often much less than one).
#include <benchmark/benchmark.h>

#include <quorvel/quorvel.hpp>

#include <filesystem>
#include <string>

#include "support/ridge_pattern.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 800, kHeight = 750;  // a 500 ppi print

// A colour picture (the channels differ, so that it loads back as RGB).
quorvel::Raster picture() {
    const std::vector<unsigned char> gray = quorvel::testing::ridge_pattern(kWidth, kHeight, 3);
    quorvel::Raster image;
    image.width = kWidth;
    image.height = kHeight;
    image.channels = 3;
    for (size_t i = 0; i < gray.size(); ++i)
        image.pixels.insert(image.pixels.end(), {gray[i], static_cast<unsigned char>(gray[i] / 2),
                                                 static_cast<unsigned char>(255 - gray[i])});
    return image;
}

// The folder with one source file per format, made on first use and removed at exit.
struct Folder {
    fs::path path = fs::temp_directory_path() / "quorvel-raster-threads-bench";
    quorvel::Raster image = picture();
    Folder() {
        fs::remove_all(path);
        fs::create_directories(path);
        for (const char* extension : {"png", "tif", "jpg"}) quorvel::save(image, source(extension));
    }
    ~Folder() { fs::remove_all(path); }
    std::string source(const std::string& extension) const {
        return (path / ("in." + extension)).string();
    }
    std::string target(const benchmark::State& state, const std::string& extension) const {
        return (path / ("out" + std::to_string(state.thread_index()) + "." + extension)).string();
    }
};

const Folder& folder() {
    static const Folder made;
    return made;
}

void count_files(benchmark::State& state) {
    state.counters["files_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Load(benchmark::State& state, const char* extension) {
    const std::string source = folder().source(extension);
    for (auto _ : state) benchmark::DoNotOptimize(quorvel::load(source));
    count_files(state);
}

void BM_Save(benchmark::State& state, const char* extension) {
    const std::string target = folder().target(state, extension);
    for (auto _ : state) quorvel::save(folder().image, target);
    count_files(state);
}

void BM_Convert(benchmark::State& state, const char* from, const char* to) {
    const std::string source = folder().source(from), target = folder().target(state, to);
    for (auto _ : state) quorvel::convert(source, target);
    count_files(state);
}

void BM_Ceiling(benchmark::State& state) {
    for (auto _ : state) {
        unsigned long sum = 0;
        for (unsigned long i = 0; i < 4000000; ++i) benchmark::DoNotOptimize(sum += i * i);
    }
    count_files(state);
}

#define QUORVEL_RASTER_THREADS(...) \
    BENCHMARK_CAPTURE(__VA_ARGS__)  \
        ->Threads(1)                \
        ->Threads(2)                \
        ->UseRealTime()             \
        ->Unit(benchmark::kMillisecond)

BENCHMARK(BM_Ceiling)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
QUORVEL_RASTER_THREADS(BM_Load, png, "png");
QUORVEL_RASTER_THREADS(BM_Load, tiff, "tif");
QUORVEL_RASTER_THREADS(BM_Load, jpeg, "jpg");
QUORVEL_RASTER_THREADS(BM_Save, png, "png");
QUORVEL_RASTER_THREADS(BM_Save, tiff, "tif");
QUORVEL_RASTER_THREADS(BM_Save, jpeg, "jpg");
QUORVEL_RASTER_THREADS(BM_Convert, png_to_wsq, "png", "wsq");
QUORVEL_RASTER_THREADS(BM_Convert, tiff_to_jpeg, "tif", "jpg");
QUORVEL_RASTER_THREADS(BM_Convert, jpeg_to_png, "jpg", "png");

}  // namespace
