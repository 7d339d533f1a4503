// CreateBMPFromFile of a 6 MP colour picture as a 24-bit BMP, a Targa (plain and run-length),
// a PNG, a Deflate TIFF and a JPEG, in MB of file per second. The files stay in the folder
// that QUORVEL_BENCH_FILES names (a temporary folder without it), so that scripts/bench.sh
// can time another reader on the very same files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <quorvel/quorvel.h>

#include "raster/codecs/codecs.h"

namespace {

namespace fs = std::filesystem;
using quorvel::raster::BMGImage;

constexpr uint32_t kWidth = 3000, kHeight = 2000;

// Smooth gradients with flat bands and a noisy band: Targa's run-length packets get both runs
// and literal groups, the PNG and TIFF filters something to predict.
std::vector<uint8_t> picture() {
    std::vector<uint8_t> px(size_t{kWidth} * kHeight * 3);
    uint32_t noise = 12345;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            uint8_t* p = &px[(size_t{y} * kWidth + x) * 3];
            noise = noise * 1103515245u + 12345u;
            const bool flat = (y / 100) % 3 == 0, noisy = (y / 100) % 3 == 1;
            const uint8_t jitter = noisy ? static_cast<uint8_t>(noise >> 27) : 0;
            p[0] = static_cast<uint8_t>((flat ? 40 : x / 12) + jitter);
            p[1] = static_cast<uint8_t>((flat ? 90 : y / 8) + jitter);
            p[2] = static_cast<uint8_t>((flat ? 200 : (x + y) / 20) + jitter);
        }
    return px;
}

BMGImage record(std::vector<uint8_t>& px) {
    BMGImage img{};
    img.width = kWidth;
    img.height = kHeight;
    img.bitsPerPixel = 24;
    img.pixels = px.data();
    img.rowBytes = kWidth * 3;
    return img;
}

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A run-length Targa (type 10) of the rows, bottom row first, as the format stores them.
void write_rle_tga(const fs::path& path, const std::vector<uint8_t>& px) {
    std::vector<uint8_t> out(12, 0);
    out[2] = 10;
    put16(out, kWidth);
    put16(out, kHeight);
    out.push_back(24);
    out.push_back(0);
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint8_t* row = &px[size_t{y} * kWidth * 3];
        for (uint32_t x = 0; x < kWidth;) {
            uint32_t run = 1;
            while (x + run < kWidth && run < 128 &&
                   std::equal(row + 3 * x, row + 3 * x + 3, row + 3 * (x + run)))
                ++run;
            if (run > 1) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                out.insert(out.end(), row + 3 * x, row + 3 * x + 3);
                x += run;
                continue;
            }
            uint32_t count = 1;
            while (x + count < kWidth && count < 128 &&
                   !std::equal(row + 3 * (x + count - 1), row + 3 * (x + count),
                               row + 3 * (x + count)))
                ++count;
            out.push_back(static_cast<uint8_t>(count - 1));
            out.insert(out.end(), row + 3 * x, row + 3 * (x + count));
            x += count;
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

const fs::path& files() {
    static const fs::path folder = [] {
        const char* named = std::getenv("QUORVEL_BENCH_FILES");
        const fs::path path =
            named != nullptr ? fs::path(named) : fs::temp_directory_path() / "quorvel-load-bench";
        fs::create_directories(path);
        std::vector<uint8_t> px = picture();
        using namespace quorvel::raster;
        const quorvel::raster::TiffFileOptions deflate{13, 0, 0, 2};
        WriteBmpFile((path / "photo.bmp").c_str(), record(px));
        WriteTgaFile((path / "photo.tga").c_str(), record(px));
        write_rle_tga(path / "photo_rle.tga", px);
        WritePngFile((path / "photo.png").c_str(), record(px));
        WriteTiffFile((path / "photo.tif").c_str(), record(px), &deflate);
        WriteJpegFile((path / "photo.jpg").c_str(), record(px), 90);
        return path;
    }();
    return folder;
}

void load(benchmark::State& state, const char* name) {
    std::string path = (files() / name).string();
    const auto bytes = static_cast<int64_t>(fs::file_size(path));
    for (auto _ : state)
        if (CreateBMPFromFile(path.data()) == nullptr) {
            state.SkipWithError("load failed");
            return;
        }
    state.SetBytesProcessed(bytes * state.iterations());
}

void BM_LoadBmp24(benchmark::State& s) { load(s, "photo.bmp"); }
void BM_LoadTga(benchmark::State& s) { load(s, "photo.tga"); }
void BM_LoadTgaRle(benchmark::State& s) { load(s, "photo_rle.tga"); }
void BM_LoadPng(benchmark::State& s) { load(s, "photo.png"); }
void BM_LoadTiffDeflate(benchmark::State& s) { load(s, "photo.tif"); }
void BM_LoadJpeg(benchmark::State& s) { load(s, "photo.jpg"); }
BENCHMARK(BM_LoadBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTgaRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTiffDeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJpeg)->Unit(benchmark::kMillisecond);

}  // namespace
