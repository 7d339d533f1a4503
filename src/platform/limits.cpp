#include "platform/limits.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace quorvel::platform {

namespace {

// Read once, when the library is loaded; hosts change them through set_load_limits().
std::atomic<uint64_t>& max_pixels() {
    static std::atomic<uint64_t> value{limits_from_environment().max_pixels};
    return value;
}

std::atomic<uint64_t>& max_load_bytes() {
    static std::atomic<uint64_t> value{limits_from_environment().max_load_bytes};
    return value;
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

LoadLimits load_limits() { return {max_pixels().load(), max_load_bytes().load()}; }

void set_load_limits(const LoadLimits& limits) {
    if (limits.max_pixels != 0) max_pixels().store(limits.max_pixels);
    if (limits.max_load_bytes != 0) max_load_bytes().store(limits.max_load_bytes);
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
[[maybe_unused]] const bool environment_read = (max_pixels(), max_load_bytes(), true);

}  // namespace quorvel::platform
