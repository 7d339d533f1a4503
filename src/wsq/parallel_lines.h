// Splitting one filter-bank pass over its lines among threads. Lines are independent within a
// pass and each is computed by the same code whichever part it falls in, so the output is the
// same bits for any number of threads.
#pragma once

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace quorvel::wsq {

// Passes with fewer samples run whole on the calling thread: starting threads would cost more.
inline constexpr long long kParallelSamples = 1 << 19;

// Calls step(first_line, count) over parts of [0, lines) covering it once: with threads > 1
// and a large pass, in up to `threads` parts at once (the calling thread takes the first);
// a part whose thread cannot start runs on the calling thread.
template <class Step>
void over_lines(int lines, long long samples, int threads, const Step& step) {
    if (threads <= 1 || samples < kParallelSamples || lines < 2 * threads) {
        step(0, lines);
        return;
    }
    const int per = (lines + threads - 1) / threads;
    std::vector<std::thread> helpers;
    for (int first = per; first < lines; first += per) {
        const int count = std::min(per, lines - first);
        try {
            helpers.emplace_back(step, first, count);
        } catch (const std::system_error&) {
            step(first, count);
        }
    }
    step(0, per);
    for (std::thread& t : helpers) t.join();
}

}  // namespace quorvel::wsq
