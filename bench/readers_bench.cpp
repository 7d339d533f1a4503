// Speed of the extended readers' hot paths: colour manager rows per source model, and a whole
// raw pixel map loaded through the portable map reader.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "readers/colour/color_manager.h"
#include "readers/formats/ppm.h"
#include "toolkit/stream.h"

namespace {

using namespace quorvel::readers;

constexpr unsigned kWidth = 4096;

void convert_rows(benchmark::State& state, ColorModel model, uint8_t samples) {
    TColorManager cm;
    cm.set_source_color_scheme(model);
    cm.set_source_samples_per_pixel(samples);
    cm.set_target_color_scheme(cmBGR);
    std::vector<uint8_t> in(kWidth * samples), out(kWidth * 3);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 37);
    const uint8_t* planes[1] = {in.data()};
    for (auto _ : state) {
        cm.convert_row(planes, out.data(), kWidth);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}

void BM_RowRgb(benchmark::State& s) { convert_rows(s, cmRGB, 3); }
void BM_RowCmyk(benchmark::State& s) { convert_rows(s, cmCMYK, 4); }
void BM_RowYCbCr(benchmark::State& s) { convert_rows(s, cmYCbCr, 3); }
void BM_RowLab(benchmark::State& s) { convert_rows(s, cmCIELab, 3); }
BENCHMARK(BM_RowRgb);
BENCHMARK(BM_RowCmyk);
BENCHMARK(BM_RowYCbCr);
BENCHMARK(BM_RowLab);

void BM_LoadRawPpm(benchmark::State& state) {
    const int side = 1024;
    const std::string header = "P6 " + std::to_string(side) + " " + std::to_string(side) + " 255\n";
    std::vector<uint8_t> file(header.begin(), header.end());
    file.resize(header.size() + size_t(side) * side * 3, 0x5A);
    for (auto _ : state) {
        TPPMGraphic reader;
        quorvel::toolkit::Stream stream(file);
        reader.LoadFromStream(stream);
        benchmark::DoNotOptimize(reader.scanline(0));
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_LoadRawPpm);

}  // namespace
