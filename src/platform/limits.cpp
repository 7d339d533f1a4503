#include "platform/limits.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace quorvel::platform {

namespace {

using Field = uint64_t LoadLimits::*;
constexpr Field kFields[] = {&LoadLimits::max_pixels,          &LoadLimits::max_load_bytes,
                             &LoadLimits::max_decoder_memory,  &LoadLimits::max_metafile_side,
                             &LoadLimits::max_metafile_pixels, &LoadLimits::max_icon_pixels};
using Stored = std::array<std::atomic<uint64_t>, std::size(kFields)>;

// Read once, when the library is loaded; hosts change them through set_load_limits().
Stored& stored() {
    static Stored* values = [] {
        auto* fresh = new Stored;
        const LoadLimits start = limits_from_environment();
        for (size_t i = 0; i < std::size(kFields); ++i) (*fresh)[i].store(start.*kFields[i]);
        return fresh;
    }();
    return *values;
}

}  // namespace

std::optional<uint64_t> parse_limit(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value == 0) return std::nullopt;
    return value;
}

LoadLimits limits_from_environment() {
    LoadLimits limits;
    if (auto v = parse_limit(std::getenv("QUORVEL_MAX_PIXELS"))) limits.max_pixels = *v;
    if (auto v = parse_limit(std::getenv("QUORVEL_MAX_LOAD_BYTES"))) limits.max_load_bytes = *v;
    return limits;
}

LoadLimits load_limits() {
    LoadLimits limits;
    for (size_t i = 0; i < std::size(kFields); ++i) limits.*kFields[i] = stored()[i].load();
    return limits;
}

void set_load_limits(const LoadLimits& limits) {
    for (size_t i = 0; i < std::size(kFields); ++i)
        if (limits.*kFields[i] != 0) stored()[i].store(limits.*kFields[i]);
}

bool within_load_limits(uint64_t width, uint64_t height, uint64_t bytes) {
    const LoadLimits limits = load_limits();
    if (width != 0 && height > limits.max_pixels / width) return false;
    return bytes <= limits.max_load_bytes;
}

bool size_plausible(uint64_t pixels, uint64_t bytes, uint64_t pixels_in_file) {
    if (bytes <= kAlwaysPlausibleBytes) return true;
    return pixels_in_file >= UINT64_MAX / kTruncationSlack ||
           pixels <= kTruncationSlack * pixels_in_file;
}

// Reads the environment at start-up rather than at the first load.
[[maybe_unused]] const bool environment_read = (stored(), true);

}  // namespace quorvel::platform
