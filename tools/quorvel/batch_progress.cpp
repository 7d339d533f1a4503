#include "batch_progress.h"

#include <cmath>

namespace quorvel::tool {
namespace {

std::string clock_text(double seconds) {
    const long total = std::lround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string file_line(const ui::FileResult& result) {
    std::string line = std::string(ui::status_text(result.status)) + ": " + result.input;
    if (result.status == ui::FileStatus::Converted) line += " -> " + result.output;
    if (!result.message.empty()) line += " (" + result.message + ")";
    return line;
}

}  // namespace

BatchProgress::BatchProgress(size_t total, bool terminal)
    : total_(total), terminal_(terminal), started_(std::chrono::steady_clock::now()) {}

std::string BatchProgress::bar_line(size_t done, size_t total, double seconds, int width) {
    const size_t filled = total == 0 ? width : done * width / total;
    const double rate = seconds > 0 ? done / seconds : 0.0;
    std::string line = "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] ";
    line += std::to_string(done) + "/" + std::to_string(total) + " files";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "  %.1f files/s", rate);
    line += numbers;
    if (rate > 0) line += "  " + clock_text((total - done) / rate) + " left";
    return line;
}

void BatchProgress::draw() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    std::fprintf(stderr, "\r\033[K%s", bar_line(done_, total_, seconds, 30).c_str());
    std::fflush(stderr);
}

void BatchProgress::file_done(const BatchEntry& entry) {
    ++done_;
    const bool failed = entry.result.status != ui::FileStatus::Converted;
    if (!terminal_) {
        std::printf("%s\n", file_line(entry.result).c_str());
        return;
    }
    // Failures stay on screen above the bar.
    if (failed) std::fprintf(stderr, "\r\033[K%s\n", file_line(entry.result).c_str());
    draw();
}

void BatchProgress::finish() {
    if (terminal_) std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    std::fflush(stdout);
}

}  // namespace quorvel::tool
