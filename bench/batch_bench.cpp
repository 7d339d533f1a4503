// `quorvel batch` converting a folder of 200 small fingerprint-like prints (300 x 300, PNG) to
// WSQ with one and with two worker processes; reported as files per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"
#include "support/ridge_pattern.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 200;
constexpr uint32_t kSide = 300;

// An 8-bit gray PNG of the print (the record's rows are bottom-up).
void write_png(const std::string& path, const std::vector<unsigned char>& gray) {
    using namespace quorvel::raster;
    BMGImage img{};
    img.width = img.height = kSide;
    img.bitsPerPixel = 8;
    img.paletteSize = 256;
    if (AllocateImageRecord(&img) != BMG_OK) return;
    codec_io::FillGrayRamp(img);
    for (uint32_t y = 0; y < kSide; ++y)
        std::copy_n(&gray[size_t{kSide - 1 - y} * kSide], kSide, codec_io::ImageRow(img, y));
    WritePngFile(path.c_str(), img);
    ReleaseImageRecord(&img);
}

const fs::path& input_folder() {
    static const fs::path folder = [] {
        const fs::path path = fs::temp_directory_path() / "quorvel-batch-bench";
        fs::remove_all(path);
        fs::create_directories(path / "in");
        for (int i = 0; i < kFiles; ++i) {
            write_png((path / "in" / ("print" + std::to_string(i) + ".png")).string(),
                      quorvel::testing::ridge_pattern(kSide, kSide, static_cast<unsigned>(i + 1)));
        }
        return path;
    }();
    return folder;
}

void BM_BatchToWsq(benchmark::State& state) {
    const fs::path& folder = input_folder();
    const std::string command = std::string("'") + QUORVEL_TOOL + "' batch '" +
                                (folder / "in").string() + "' '" + (folder / "out").string() +
                                "' --to wsq --jobs " + std::to_string(state.range(0)) +
                                " >/dev/null 2>&1";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder / "out");
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("quorvel batch failed");
    }
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(kFiles) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BatchToWsq)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
