// `quorvel batch` converting a folder of 100 small fingerprint-like prints (300 x 300, BMP) to
// WSQ with one and with two worker processes; reported as files per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 100;
constexpr int kSide = 300;

void put32(std::ofstream& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put16(std::ofstream& out, uint16_t v) {
    out.put(static_cast<char>(v & 0xFF));
    out.put(static_cast<char>(v >> 8));
}

// A 24-bit bottom-up Windows bitmap of a gray picture (rows of 900 bytes need no padding).
void write_bmp(const std::string& path, const std::vector<unsigned char>& gray) {
    std::ofstream out(path, std::ios::binary);
    const uint32_t pixels = kSide * kSide * 3;
    out.write("BM", 2);
    put32(out, 54 + pixels);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, kSide);
    put32(out, kSide);
    put16(out, 1);
    put16(out, 24);
    for (int i = 0; i < 6; ++i) put32(out, 0);
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) {
            for (int c = 0; c < 3; ++c)
                out.put(static_cast<char>(gray[static_cast<size_t>(y) * kSide + x]));
        }
    }
}

const fs::path& input_folder() {
    static const fs::path folder = [] {
        const fs::path path = fs::temp_directory_path() / "quorvel-batch-bench";
        fs::remove_all(path);
        fs::create_directories(path / "in");
        for (int i = 0; i < kFiles; ++i) {
            write_bmp((path / "in" / ("print" + std::to_string(i) + ".bmp")).string(),
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
