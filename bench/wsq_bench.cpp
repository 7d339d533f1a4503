// Encode and decode speed of the WSQ codec at 0.75 and 2.25 bpp beside OpenJPEG (9/7
// irreversible, one layer at 15:1) and libjpeg-turbo (quality 75), in one process on the same
// images: the bundled samples and the shared real prints when present. After the runs a
// summary prints, per image, how many times faster the WSQ codec is than each reference
// (CPU time, so that other processes on a shared machine weigh less).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "images.h"
#include "reference_codecs.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace {

using quorvel::bench::Bytes;
using quorvel::bench::Gray;
using namespace quorvel::bench;  // the reference codecs
using quorvel::wsq::DiagCapture;

Bytes wsq_encode(const Gray& g, float rate) {
    DiagCapture quiet;  // the statistics lines of every encode
    unsigned char* data = nullptr;
    int len = 0;
    if (quorvel::wsq::wsq_encode_1(&data, &len, rate, g.px.data(), g.w, g.h, 8, 500, nullptr))
        return {};
    Bytes out(data, data + len);
    std::free(data);
    return out;
}

bool wsq_decode(const Bytes& stream) {
    unsigned char* data = nullptr;
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    if (quorvel::wsq::wsq_decode_mem(&data, &w, &h, &d, &ppi, &lossy, stream.data(),
                                     static_cast<int>(stream.size())))
        return false;
    benchmark::DoNotOptimize(data);
    std::free(data);
    return true;
}

// One measured operation on one image; false when it failed.
using Operation = std::function<bool()>;

void run(benchmark::State& state, const Gray& g, const Operation& op) {
    for (auto _ : state)
        if (!op()) {
            state.SkipWithError("codec failed");
            return;
        }
    state.counters["MPix/s"] = benchmark::Counter(
        static_cast<double>(g.w) * g.h * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void add(const std::string& name, const Gray& g, Operation op) {
    benchmark::RegisterBenchmark((name + "/" + g.name).c_str(), [&g, op](benchmark::State& s) {
        run(s, g, op);
    })->Unit(benchmark::kMillisecond);
}

// Streams are made once, outside the timed loops.
void register_image(const Gray& g, std::vector<Bytes>& streams) {
    const unsigned char* px = g.px.data();
    add("wsq_encode_0.75", g, [&g] { return !wsq_encode(g, 0.75f).empty(); });
    add("wsq_encode_2.25", g, [&g] { return !wsq_encode(g, 2.25f).empty(); });
    add("openjpeg_encode", g, [&g, px] { return !openjpeg_encode(px, g.w, g.h).empty(); });
    add("jpeg_encode", g, [&g, px] { return !jpeg_encode(px, g.w, g.h).empty(); });
    const Bytes* low = &streams.emplace_back(wsq_encode(g, 0.75f));
    const Bytes* high = &streams.emplace_back(wsq_encode(g, 2.25f));
    const Bytes* j2k = &streams.emplace_back(openjpeg_encode(px, g.w, g.h));
    const Bytes* jpg = &streams.emplace_back(jpeg_encode(px, g.w, g.h));
    add("wsq_decode_0.75", g, [low] { return wsq_decode(*low); });
    add("wsq_decode_2.25", g, [high] { return wsq_decode(*high); });
    add("openjpeg_decode", g, [j2k] { return !openjpeg_decode(*j2k).empty(); });
    add("jpeg_decode", g, [jpg] { return !jpeg_decode(*jpg).empty(); });
}

const Gray& largest(const std::vector<Gray>& images) {
    const Gray* best = &images.front();
    for (const Gray& g : images)
        if (g.px.size() > best->px.size()) best = &g;
    return *best;
}

// Keeps the CPU time of every run by name, for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                cpu_[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // time(reference op) / time(ours), or 0 when either did not run.
    double ratio(const std::string& ours, const std::string& reference,
                 const std::string& image) const {
        const auto a = cpu_.find(ours + "/" + image), b = cpu_.find(reference + "/" + image);
        return a == cpu_.end() || b == cpu_.end() ? 0.0 : b->second / a->second;
    }

private:
    std::map<std::string, double> cpu_;
};

void print_summary(const RatioReporter& r, const std::vector<Gray>& images) {
    std::printf("\nWSQ speed as a multiple of the reference (reference CPU time / ours)\n");
    std::printf("%-30s %9s %9s %9s %9s %9s %9s %9s\n", "image", "dec0.75/J2", "enc0.75/J2",
                "dec2.25/J2", "enc2.25/J2", "dec0.75/JPG", "enc0.75/JPG", "dec2.25/JPG");
    for (const Gray& g : images) {
        if (r.ratio("wsq_decode_0.75", "openjpeg_decode", g.name) == 0.0) continue;  // filtered
        std::printf("%-30s %9.2f %9.2f %9.2f %9.2f %9.3f %9.3f %9.3f\n", g.name.c_str(),
                    r.ratio("wsq_decode_0.75", "openjpeg_decode", g.name),
                    r.ratio("wsq_encode_0.75", "openjpeg_encode", g.name),
                    r.ratio("wsq_decode_2.25", "openjpeg_decode", g.name),
                    r.ratio("wsq_encode_2.25", "openjpeg_encode", g.name),
                    r.ratio("wsq_decode_0.75", "jpeg_decode", g.name),
                    r.ratio("wsq_encode_0.75", "jpeg_encode", g.name),
                    r.ratio("wsq_decode_2.25", "jpeg_decode", g.name));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--peak")
        return quorvel::bench::run_peak_child(argc, argv);
    const std::vector<Gray> images = quorvel::bench::bench_images(QUORVEL_SOURCE_DIR);
    std::vector<Bytes> streams;
    streams.reserve(4 * images.size());  // the registered lambdas point into it
    for (const Gray& g : images) register_image(g, streams);
    if (!images.empty()) {
        quorvel::bench::register_thread_benchmarks(largest(images));
        quorvel::bench::register_memory_benchmarks(largest(images));
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter, images);
    benchmark::Shutdown();
    return 0;
}
