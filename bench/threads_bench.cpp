// Encode and decode of large prints (2 x 2 and 4 x 4 tilings of the largest benchmark image,
// the latter about the size of a 1000 ppi capture) through the C++ API, with one and with two
// threads inside the call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include <quorvel/quorvel.hpp>

#include "images.h"

namespace {

using quorvel::bench::Gray;

void encode_threads(benchmark::State& s, const Gray& g) {
    quorvel::EncodeOptions options;
    options.ppi = 1000;
    options.threads = static_cast<int>(s.range(0));
    for (auto _ : s) benchmark::DoNotOptimize(quorvel::encode(g.px, g.w, g.h, options));
}

void decode_threads(benchmark::State& s, const Gray& g) {
    const std::vector<uint8_t> stream = quorvel::encode(g.px, g.w, g.h);
    const quorvel::DecodeOptions options{static_cast<int>(s.range(0))};
    for (auto _ : s) benchmark::DoNotOptimize(quorvel::decode(stream, options));
}

}  // namespace

namespace quorvel::bench {

Gray tiled(const Gray& g, int tiles) {
    Gray big{"tiled", g.w * tiles, g.h * tiles, {}};
    big.px.resize(static_cast<size_t>(big.w) * big.h);
    for (int y = 0; y < big.h; ++y) {
        const unsigned char* row = g.px.data() + static_cast<size_t>(y % g.h) * g.w;
        for (int x = 0; x < big.w; ++x) big.px[static_cast<size_t>(y) * big.w + x] = row[x % g.w];
    }
    return big;
}

// Registered by main with the image they tile (the largest); real time, since the CPU time of
// the helper threads is not the caller's.
void register_thread_benchmarks(const Gray& image) {
    static const Gray bigs[] = {tiled(image, 2), tiled(image, 4)};
    for (const Gray& big : bigs) {
        const std::string size = std::to_string(big.w) + "x" + std::to_string(big.h);
        const Gray* g = &big;
        benchmark::RegisterBenchmark(("wsq_encode_threads/" + size).c_str(),
                                     [g](benchmark::State& s) { encode_threads(s, *g); })
            ->Arg(1)
            ->Arg(2)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("wsq_decode_threads/" + size).c_str(),
                                     [g](benchmark::State& s) { decode_threads(s, *g); })
            ->Arg(1)
            ->Arg(2)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace quorvel::bench
