// Splitting one filter-bank pass over its lines among threads. Lines are independent within a
// pass and each is computed by the same code whichever part it falls in, so the output is the
// same bits for any number of threads.
#pragma once

#include <algorithm>
#include <cstddef>

#include "wsq/lanes.h"

namespace quorvel::wsq {

// Passes with fewer samples run whole on the calling thread: waking helpers would cost more.
inline constexpr long long kParallelSamples = 1 << 16;

// Threads for a step split in a few large pieces rather than over lines (the blocks of the
// entropy coding, the variance windows): small images keep to the calling thread, as the
// line passes do.
inline int lanes_for(size_t pixels, int threads) {
    return static_cast<long long>(pixels) >= kParallelSamples ? threads : 1;
}

// Parts a pass is cut into for each thread, so that a helper that starts late leaves the
// caller parts to take rather than a long wait.
inline constexpr int kPartsPerThread = 4;

// Calls step(first_line, count) over parts of [0, lines) covering it once: with threads > 1
// and a large pass, on the calling thread and up to threads - 1 helpers at once.
template <class Step>
void over_lines(int lines, long long samples, int threads, const Step& step) {
    if (threads <= 1 || samples < kParallelSamples || lines < 2 * threads) {
        step(0, lines);
        return;
    }
    const int wanted = std::min(lines, threads * kPartsPerThread);
    const int per = (lines + wanted - 1) / wanted;
    const int parts = (lines + per - 1) / per;
    run_parts(parts, threads - 1, [&](int part) {
        const int first = part * per;
        step(first, std::min(per, lines - first));
    });
}

}  // namespace quorvel::wsq
