// Encode and decode speed of the WSQ codec on an 800 x 750 fingerprint-like image and, when
// the shared real prints are present, on a real one. Reported as megapixels per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace {

using quorvel::wsq::DiagCapture;

struct Gray {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
};

Gray synthetic() { return Gray{800, 750, quorvel::testing::ridge_pattern(800, 750, 1)}; }

// A binary PGM with maxval 255; empty when absent or not of that kind.
Gray read_pgm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    if (!(in >> magic >> w >> h >> maxval) || magic != "P5" || maxval != 255) return {};
    in.get();
    Gray g{w, h, std::vector<unsigned char>(static_cast<size_t>(w) * h)};
    if (!in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size())))
        return {};
    return g;
}

// A real print from the shared data beside the repository; a user's clone has none.
Gray real_print() {
    const std::filesystem::path file = std::filesystem::path(QUORVEL_SOURCE_DIR) /
                                       "../shared/data/fingerprints/derived_tile_800x750.pgm";
    return std::filesystem::exists(file) ? read_pgm(file.string()) : Gray{};
}

std::vector<unsigned char> encode(const Gray& g, float r) {
    unsigned char* data = nullptr;
    int len = 0;
    if (quorvel::wsq::wsq_encode_1(&data, &len, r, g.px.data(), g.w, g.h, 8, 500, nullptr) != 0)
        return {};
    std::vector<unsigned char> out(data, data + len);
    std::free(data);
    return out;
}

void set_rate(benchmark::State& state, const Gray& g) {
    state.counters["MPix/s"] = benchmark::Counter(
        static_cast<double>(g.w) * g.h * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void run_encode(benchmark::State& state, const Gray& g, float r) {
    if (g.px.empty()) {
        state.SkipWithError("image not available");
        return;
    }
    DiagCapture quiet;  // the statistics lines of every encode
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode(g, r));
        quiet.clear();
    }
    set_rate(state, g);
}

void run_decode(benchmark::State& state, const Gray& g, float r) {
    if (g.px.empty()) {
        state.SkipWithError("image not available");
        return;
    }
    DiagCapture quiet;
    const std::vector<unsigned char> stream = encode(g, r);
    for (auto _ : state) {
        unsigned char* data = nullptr;
        int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
        if (quorvel::wsq::wsq_decode_mem(&data, &w, &h, &d, &ppi, &lossy, stream.data(),
                                         static_cast<int>(stream.size())) != 0) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(data);
        std::free(data);
    }
    set_rate(state, g);
}

void BM_EncodeSynthetic(benchmark::State& s) { run_encode(s, synthetic(), s.range(0) / 100.0f); }
void BM_DecodeSynthetic(benchmark::State& s) { run_decode(s, synthetic(), s.range(0) / 100.0f); }
void BM_EncodeRealPrint(benchmark::State& s) { run_encode(s, real_print(), s.range(0) / 100.0f); }
void BM_DecodeRealPrint(benchmark::State& s) { run_decode(s, real_print(), s.range(0) / 100.0f); }

// The argument is the bitrate in hundredths of a bit per pixel.
BENCHMARK(BM_EncodeSynthetic)->Arg(75)->Arg(225)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSynthetic)->Arg(75)->Arg(225)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeRealPrint)->Arg(75)->Arg(225)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRealPrint)->Arg(75)->Arg(225)->Unit(benchmark::kMillisecond);

}  // namespace
