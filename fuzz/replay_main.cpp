// Runs a fuzz target's entry point once on every file named, or in a folder named, without
// libFuzzer: the ordinary builds (and the sanitizer build) replay the kept corpora with it, so
// an input that once mattered to a fuzzer fails the tests when it crashes again. Each file's
// name is printed before it runs, so the report that ends the process names the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Defined by the targets that set up state once (a silent presenter, say).
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// The files named, folders replaced by their regular files in name order (a stable order
// makes a failure repeatable).
bool collect(int argc, char** argv, std::vector<fs::path>& files) {
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            std::vector<fs::path> inside;
            for (const fs::directory_entry& entry : fs::directory_iterator(path, error))
                if (entry.is_regular_file()) inside.push_back(entry.path());
            std::sort(inside.begin(), inside.end());
            files.insert(files.end(), inside.begin(), inside.end());
        } else if (fs::is_regular_file(path, error)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return false;
        }
    }
    return true;
}

// A buffer of exactly the file's size, so that a read past the input's end is the sanitizer's to
// see; never null, even for an empty file, as libFuzzer passes it.
bool read_all(const fs::path& path, std::unique_ptr<uint8_t[]>& bytes, size_t& size) {
    std::error_code error;
    size = static_cast<size_t>(fs::file_size(path, error));
    if (error) return false;
    bytes.reset(new uint8_t[size]);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.get()), static_cast<std::streamsize>(size));
    return static_cast<size_t>(in.gcount()) == size;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    if (argc < 2 || !collect(argc, argv, files)) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    if (files.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 2;
    }
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    for (const fs::path& file : files) {
        std::fprintf(stderr, "replay: %s\n", file.c_str());
        if (!read_all(file, bytes, size)) {
            std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
            return 2;
        }
        LLVMFuzzerTestOneInput(bytes.get(), size);
    }
    std::fprintf(stderr, "replay: %zu inputs\n", files.size());
    return 0;
}
