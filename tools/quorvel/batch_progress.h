// The progress of a batch run: on a terminal one line redrawn in place (a bar, the file count,
// files per second and the time left), otherwise one plain line per file.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "batch.h"

namespace quorvel::tool {

class BatchProgress {
public:
    // `total` counts the files to convert; `terminal` draws the bar on standard error.
    BatchProgress(size_t total, bool terminal);
    void file_done(const BatchEntry& entry);
    // Clears the bar line so that the summary starts on a clean line.
    void finish();

    // The bar line for `done` of `total` after `seconds`, `width` characters of bar.
    static std::string bar_line(size_t done, size_t total, double seconds, int width);

private:
    void draw();

    size_t total_;
    size_t done_ = 0;
    bool terminal_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace quorvel::tool
