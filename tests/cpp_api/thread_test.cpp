// Calls of the C++ API on eight threads at once give exactly what the same calls give one
// after another: every call owns its codec state. Run under ThreadSanitizer by
// scripts/test.sh (tests/tsan/) as well.
#include <quorvel/quorvel.hpp>

#include <gtest/gtest.h>

#include <thread>

#include "support/ridge_pattern.h"

namespace {

// One job per thread: its own image size, content and bitrate.
struct Job {
    int width;
    int height;
    double bitrate;
    std::vector<uint8_t> pixels;
};

struct Result {
    std::vector<uint8_t> stream;
    std::vector<uint8_t> decoded;
    int ppi = 0;
    std::optional<std::string> comment;
};

std::vector<Job> jobs(int count) {
    std::vector<Job> list;
    for (int i = 0; i < count; ++i) {
        const int w = 96 + 23 * i, h = 120 + 17 * (count - i);
        list.push_back({w, h, 0.4 + 0.3 * i, quorvel::testing::ridge_pattern(w, h, 100 + i)});
    }
    return list;
}

Result run(const Job& job, int index) {
    Result r;
    const std::string comment = "job " + std::to_string(index);
    r.stream =
        quorvel::encode(job.pixels, job.width, job.height, {job.bitrate, 300 + index, comment});
    quorvel::Image image = quorvel::decode(r.stream);
    r.decoded = std::move(image.pixels);
    r.ppi = image.ppi;
    r.comment = image.comment;
    return r;
}

TEST(CppThreads, EightThreadsEncodingAndDecodingMatchSerialResults) {
    constexpr int kThreads = 8, kRounds = 3;
    const std::vector<Job> work = jobs(kThreads);
    std::vector<Result> serial;
    for (int i = 0; i < kThreads; ++i) serial.push_back(run(work[i], i));

    std::vector<std::vector<Result>> parallel(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) parallel[i].push_back(run(work[i], i));
        });
    }
    for (std::thread& t : threads) t.join();

    for (int i = 0; i < kThreads; ++i) {
        for (const Result& r : parallel[i]) {
            EXPECT_EQ(r.stream, serial[i].stream) << "thread " << i;
            EXPECT_EQ(r.decoded, serial[i].decoded) << "thread " << i;
            EXPECT_EQ(r.ppi, 300 + i);
            EXPECT_EQ(r.comment, "job " + std::to_string(i));
        }
    }
}

TEST(CppThreads, FailuresOnOtherThreadsKeepTheirOwnMessages) {
    // Each thread's error names its own image size: the codec lines never cross threads.
    constexpr int kThreads = 8;
    std::vector<std::string> messages(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            const std::vector<uint8_t> tiny(static_cast<size_t>(10 + i) * 10, 0);
            for (int round = 0; round < 50; ++round) {
                try {
                    quorvel::encode(tiny, 10 + i, 10);
                } catch (const quorvel::Error& e) {
                    messages[i] = e.what();
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(messages[i], "encode: ERROR : wsq_encode_1 : image too small : " +
                                   std::to_string(10 + i) + " x 10 (at least 81 x 81)");
    }
}

}  // namespace
