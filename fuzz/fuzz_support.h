// Shared pieces of the fuzz targets: quiet diagnostics and message boxes (a fuzzer runs
// millions of inputs, and the text of a failure is not what it looks for), and a scratch
// file per process for the readers that take a file name.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <zlib.h>

#include "platform/presenter.h"

namespace quorvel::fuzz {

// Answers every question with the default button and shows nothing.
class SilentPresenter : public platform::Presenter {
public:
    int message_box(HWND, const std::string&, const std::string&, unsigned type) override {
        return (type & 0xF) == MB_YESNO ? IDYES : IDOK;
    }
    int show_modal(platform::Window&) override { return IDOK; }
    bool browse_for_folder(const std::string&, std::string&) override { return false; }
};

inline void install_silent_presenter() {
    static SilentPresenter silent;
    platform::set_presenter(&silent);
}

// Dispatch keys as the extensions of the files fed to them.
inline std::vector<std::string> lower_case(std::vector<std::string> keys) {
    for (std::string& key : keys)
        for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return keys;
}

// A file in memory-backed storage when there is one (each input is written once per run),
// named per process so that parallel fuzzing jobs do not share it.
inline std::string scratch_path(const char* extension) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/quorvel-fuzz-" + std::to_string(getpid()) + "." + extension;
}

// True when some frame header (SOF marker, length, black, white, height, width) in the bytes
// claims more than `limit` pixels. Such frames are valid up to 65535 on a side and the decoder
// rightly allocates for them, but gigabyte images only make the fuzzer run out of memory.
inline bool wsq_frame_exceeds(const uint8_t* data, size_t size, uint64_t limit) {
    for (size_t i = 0; i + 10 <= size; ++i) {
        if (data[i] != 0xFF || data[i + 1] != 0xA2) continue;
        const uint64_t height = (data[i + 6] << 8) | data[i + 7];
        const uint64_t width = (data[i + 8] << 8) | data[i + 9];
        if (width * height > limit) return true;
    }
    return false;
}
constexpr uint64_t kMaxWsqPixels = uint64_t{2048} * 2048;

// PNG chunks carry CRCs, and a mutated chunk with a stale CRC is refused before the reader
// sees it. Rewriting each complete chunk's CRC lets the fuzzer reach what lies behind.
inline void refresh_png_crcs(std::vector<uint8_t>& file) {
    size_t at = 8;  // after the signature
    while (at + 12 <= file.size()) {
        const uint64_t length =
            (uint64_t{file[at]} << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        if (length > file.size() - at - 12) break;
        const size_t crc_at = at + 8 + static_cast<size_t>(length);
        const uint32_t crc =
            static_cast<uint32_t>(crc32(0, file.data() + at + 4, static_cast<uInt>(length + 4)));
        file[crc_at] = static_cast<uint8_t>(crc >> 24);
        file[crc_at + 1] = static_cast<uint8_t>(crc >> 16);
        file[crc_at + 2] = static_cast<uint8_t>(crc >> 8);
        file[crc_at + 3] = static_cast<uint8_t>(crc);
        at = crc_at + 4;
    }
}

inline bool write_file(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    // An empty input may come as a null pointer, which fwrite must not be given.
    const bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

}  // namespace quorvel::fuzz
