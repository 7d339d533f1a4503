// Encode and decode of large prints (2 x 2 and 4 x 4 tilings of the largest benchmark image,
// the latter about the size of a 1000 ppi capture) with one and with two threads inside the
// codec.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "images.h"
#include "wsq/decoder.h"
#include "wsq/diag.h"
#include "wsq/encoder.h"
#include "wsq/records.h"
#include "wsq/tree.h"

namespace {

using quorvel::bench::Gray;
using namespace quorvel::wsq;

std::vector<unsigned char> encode(EncoderState& state, const Gray& g) {
    DiagCapture quiet;
    unsigned char* data = nullptr;
    int len = 0;
    if (wsq_encode(state, &data, &len, 0.75f, g.px.data(), g.w, g.h, 8, 1000, nullptr)) return {};
    std::vector<unsigned char> out(data, data + len);
    std::free(data);
    return out;
}

void encode_threads(benchmark::State& s, const Gray& g) {
    WsqTrees trees;
    WsqQuantization quant{};
    EncodeWorkspace work;
    EncoderState state{&trees, &quant, static_cast<int>(s.range(0)), &work};
    for (auto _ : s) benchmark::DoNotOptimize(encode(state, g));
}

void decode_threads(benchmark::State& s, const Gray& g) {
    WsqTrees trees;
    WsqQuantization quant{};
    EncoderState encoder{&trees, &quant};
    const std::vector<unsigned char> stream = encode(encoder, g);
    DecoderState state;
    state.threads = static_cast<int>(s.range(0));
    for (auto _ : s) {
        unsigned char* data = nullptr;
        int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
        wsq_decode(state, trees, &data, &w, &h, &d, &ppi, &lossy, stream.data(),
                   static_cast<int>(stream.size()));
        std::free(data);
    }
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
