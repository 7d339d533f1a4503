// Calls of the C++ API on eight threads at once give exactly what the same calls give one
// after another: every call owns its codec state, and a raster call its file-layer state,
// also while another thread uses the C exports. Run under ThreadSanitizer by scripts/test.sh
// (tests/api/cpp/tsan/) as well.
#include <quorvel/quorvel.h>
#include <quorvel/quorvel.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "support/recording_presenter.h"
#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "wsq/diag.h"

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

// One thread's raster work: load its source, convert it to its target, save what it loaded,
// and two failures whose messages name its own files.
struct RasterJob {
    std::string source, target, copy, corrupt, unwritable;
};

struct RasterResult {
    std::vector<uint8_t> pixels, converted, copied;
    std::string load_failure, save_failure;
};

std::string failure(const std::function<void()>& call) {
    try {
        call();
    } catch (const quorvel::Error& e) {
        return e.what();
    }
    return "no failure";
}

RasterResult run_raster(const RasterJob& job) {
    RasterResult r;
    const quorvel::Raster image = quorvel::load(job.source);
    r.pixels = image.pixels;
    quorvel::convert(job.source, job.target, {1.5, 500, std::nullopt, 1, 2, 80});
    r.converted = quorvel::testing::read_file(job.target);
    quorvel::save(image, job.copy);
    r.copied = quorvel::testing::read_file(job.copy);
    r.load_failure = failure([&] { quorvel::load(job.corrupt); });
    r.save_failure = failure([&] { quorvel::save(image, job.unwritable); });
    return r;
}

quorvel::Raster gray_raster(int width, int height, uint32_t seed) {
    quorvel::Raster image;
    image.pixels = quorvel::testing::ridge_pattern(width, height, seed);
    image.width = width;
    image.height = height;
    return image;
}

std::vector<RasterJob> raster_jobs(const quorvel::testing::TempDir& dir, int count) {
    static const char* const kSources[] = {"png", "tif", "jpg", "png", "tif", "jpg", "wsq", "bmp"};
    static const char* const kTargets[] = {"tif", "jpg", "png", "wsq", "png", "tif", "bmp", "png"};
    std::vector<RasterJob> list;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        quorvel::save(gray_raster(90 + 9 * i, 120 - 4 * i, 40 + i),
                      dir.file(n + "." + kSources[i % 8]));
        quorvel::testing::write_file(dir.file("junk" + n + ".png"), {0x89, 'P', 'N', 'G', 1, 2});
        list.push_back({dir.file(n + "." + kSources[i % 8]),
                        dir.file("to" + n + "." + kTargets[i % 8]), dir.file("copy" + n + ".png"),
                        dir.file("junk" + n + ".png"), dir.file("none/" + n + ".tif")});
    }
    return list;
}

// One round of the file exports on the default context: WSQ out and back through the
// process-wide codec tables, and two failures that the process-wide presenter shows.
bool run_exports(const quorvel::testing::TempDir& dir) {
    const quorvel::wsq::DiagCapture codec_lines;  // the WSQ save's report, not for the log
    std::string png = dir.file("c.png"), wsq = dir.file("c.wsq"), junk = dir.file("junk0.png"),
                unwritable = dir.file("none/c.png");
    HBITMAP loaded = CreateBMPFromFile(png.data());
    SaveBMPToFile(loaded, wsq.data(), 1);
    HBITMAP back = CreateBMPFromFile(wsq.data());
    SaveBMPToFile(back, unwritable.data(), 4);
    const bool failed = CreateBMPFromFile(junk.data()) == nullptr;
    GetLastError();
    return loaded != nullptr && back != nullptr && failed;
}

std::vector<std::string> texts(const quorvel::testing::RecordingPresenter& shown) {
    std::vector<std::string> list;
    for (const auto& m : shown.messages) list.push_back(m.caption + ": " + m.text);
    return list;
}

TEST(CppThreads, RasterCallsOnEightThreadsBesideTheExportsMatchSerialResults) {
    constexpr int kThreads = 8, kRounds = 2;
    quorvel::testing::TempDir dir;
    const std::vector<RasterJob> work = raster_jobs(dir, kThreads);
    quorvel::save(gray_raster(100, 90, 7), dir.file("c.png"));
    std::vector<RasterResult> serial;
    for (const RasterJob& job : work) serial.push_back(run_raster(job));
    SetShowFilePropertiesDialog(0);
    quorvel::testing::RecordingPresenter shown;  // the exports' messages, and only theirs
    ASSERT_TRUE(run_exports(dir));
    const std::vector<std::string> one_round = texts(shown);
    ASSERT_FALSE(one_round.empty());

    std::vector<std::vector<RasterResult>> parallel(kThreads);
    std::atomic<int> running{kThreads};
    int export_rounds = 1, export_failures = 0;
    std::thread exports([&] {
        do {
            export_failures += run_exports(dir) ? 0 : 1;
            ++export_rounds;
        } while (running.load() > 0);
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round)
                parallel[i].push_back(run_raster(work[i]));
            --running;
        });
    }
    for (std::thread& t : threads) t.join();
    exports.join();
    SetShowFilePropertiesDialog(1);

    for (int i = 0; i < kThreads; ++i) {
        for (const RasterResult& r : parallel[i]) {
            EXPECT_EQ(r.pixels, serial[i].pixels) << work[i].source;
            EXPECT_EQ(r.converted, serial[i].converted) << work[i].target;
            EXPECT_EQ(r.copied, serial[i].copied) << work[i].copy;
            EXPECT_EQ(r.load_failure, serial[i].load_failure);
            EXPECT_EQ(r.save_failure, serial[i].save_failure);
        }
    }
    EXPECT_EQ(export_failures, 0);
    const std::vector<std::string> all = texts(shown);
    ASSERT_EQ(all.size(), one_round.size() * export_rounds);
    for (size_t k = 0; k < all.size(); ++k) EXPECT_EQ(all[k], one_round[k % one_round.size()]);
}

}  // namespace
