// The helper threads the codec's parallel passes share: every part runs once whoever calls,
// a part's exception reaches its caller, and a forked child still gets its work done.
#include "wsq/lanes.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quorvel::wsq {
namespace {

// Callers on several threads at once, each asking for more helpers than there are cores.
TEST(Lanes, EveryPartRunsOnceWhateverTheCallersAndHelpers) {
    constexpr int kCallers = 4, kRounds = 200;
    std::vector<std::thread> callers;
    std::atomic<int> wrong{0};
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([&, c] {
            for (int round = 0; round < kRounds; ++round) {
                const int parts = 1 + (round + c) % 37, helpers = round % 5;
                std::vector<std::atomic<int>> runs(static_cast<size_t>(parts));
                run_parts(parts, helpers, [&](int i) { runs[static_cast<size_t>(i)]++; });
                for (const std::atomic<int>& r : runs) wrong += r.load() != 1;
            }
        });
    }
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Lanes, APartsExceptionReachesTheCallerAfterTheOthersReturn) {
    for (int thrower : {0, 5}) {  // the caller's own first part, and one a helper may take
        std::atomic<int> inside{0};
        EXPECT_THROW(run_parts(16, 3,
                               [&](int i) {
                                   ++inside;
                                   std::this_thread::sleep_for(std::chrono::microseconds(200));
                                   if (i == thrower) throw std::runtime_error("part");
                                   --inside;
                               }),
                     std::runtime_error);
        EXPECT_EQ(inside.load(), 1) << "only the part that threw is left unfinished";
    }
}

TEST(Lanes, AForkedChildDoesItsPartsWithoutTheParentsThreads) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start threads in a forked child";
#endif
    std::atomic<int> sum{0};
    run_parts(8, 2, [&](int i) { sum += i; });  // the parent's helpers exist now
    ASSERT_EQ(sum.load(), 28);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::atomic<int> child_sum{0};
        run_parts(8, 2, [&](int i) { child_sum += i; });
        _exit(child_sum.load() == 28 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace quorvel::wsq
