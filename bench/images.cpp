#include "images.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace quorvel::bench {
namespace {

// The .pgm files of one directory, sorted; none when it does not exist.
std::vector<std::filesystem::path> pgm_files(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(dir)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".pgm") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

Gray read_pgm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    Gray g;
    g.name = std::filesystem::path(path).filename().string();
    int maxval = 0;
    if (!(in >> magic >> g.w >> g.h >> maxval) || magic != "P5" || maxval != 255) return g;
    in.get();
    g.px.resize(static_cast<size_t>(g.w) * g.h);
    if (!in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size())))
        g.px.clear();
    return g;
}

std::vector<Gray> bench_images(const std::string& source_dir) {
    const std::filesystem::path root(source_dir);
    std::vector<Gray> images;
    for (const auto& dir : {root / "samples", root / "../shared/data/fingerprints"})
        for (const auto& file : pgm_files(dir)) {
            Gray g = read_pgm(file.string());
            if (!g.px.empty()) images.push_back(std::move(g));
        }
    return images;
}

}  // namespace quorvel::bench
