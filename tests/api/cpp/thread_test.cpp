// Calls of the C++ API on eight threads at once give exactly what the same calls give one
// after another: every call owns its codec state, and a raster call its file-layer state,
// also while another thread uses the C exports. Run under ThreadSanitizer by scripts/test.sh
// (tests/api/cpp/tsan/) as well.
#include <quorvel/quorvel.h>
#include <quorvel/quorvel.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Threads inside a call, asked for by two callers at once, share the codec's helpers and give
// the bytes of a call on one thread; the image is large enough for the passes to be split.
TEST(CppThreads, ThreadsInsideCallsGiveTheOneThreadStreamAndPixels) {
    const int w = 1024, h = 1024;
    const std::vector<uint8_t> pixels = quorvel::testing::ridge_pattern(w, h, 7);
    const std::vector<uint8_t> stream = quorvel::encode(pixels, w, h);
    const std::vector<uint8_t> decoded = quorvel::decode(stream).pixels;
    std::vector<std::thread> callers;
    std::atomic<int> differ{0};
    for (int threads : {2, 3}) {
        callers.emplace_back([&, threads] {
            quorvel::EncodeOptions options;
            options.threads = threads;
            const std::vector<uint8_t> own = quorvel::encode(pixels, w, h, options);
            differ += own != stream;
            differ += quorvel::decode(own, {threads}).pixels != decoded;
        });
    }
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(differ.load(), 0);
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

// The soak: eight threads each walk a table of load, convert and save operations over mixed
// files for a fixed number of rounds, while one more thread loops over the C exports. Every
// output equals what the same operation gave in a serial run, and resident memory after the
// last round stays within kResidentGrowthKb of what it was after the warm-up rounds (the first
// half). QUORVEL_SOAK_ROUNDS sets the rounds: 8 by default, scripts/test.sh runs 126 (two walks
// of the whole table by every thread) under ThreadSanitizer. A leak of one decoded picture per
// load grows it by 14 MB in 126 rounds; without one it moves by less than 1 MB (5 under TSan).
constexpr int kSoakThreads = 8;
constexpr long kResidentGrowthKb = 8 * 1024;

const char* const kTargets[] = {"wsq", "bmp", "tif", "png", "jpg", "tga", "rgb"};
const quorvel::SaveOptions kSoakOptions{1.5, 500, std::nullopt, 1, 2, 80};

std::string sample(const std::string& name) {
    return (std::filesystem::path(QUORVEL_TEST_DATA).parent_path().parent_path() / "samples/mixed" /
            name)
        .string();
}

quorvel::Raster gray_raster(int width, int height, uint32_t seed) {
    quorvel::Raster image;
    image.pixels = quorvel::testing::ridge_pattern(width, height, seed);
    image.width = width;
    image.height = height;
    return image;
}

// The samples as they are, plus TIFF (gray ZIP, colour PackBits) and WSQ files made here.
std::vector<std::string> soak_sources(const quorvel::testing::TempDir& dir) {
    std::vector<std::string> list;
    for (const char* name : {"index.bmp", "middle.gif", "thumb.png", "left-hand/SCAN.JPG",
                             "left-hand/little.tga", "left-hand/ring.pcx"})
        list.push_back(sample(name));
    list.push_back(dir.file("ridges.tif"));
    quorvel::save(gray_raster(150, 130, 3), list.back(), kSoakOptions);
    list.push_back(dir.file("colour.tif"));
    quorvel::convert(sample("index.bmp"), list.back(), {0.75, 500, std::nullopt, 2, 2, 90});
    list.push_back(dir.file("ridges.wsq"));
    quorvel::save(gray_raster(140, 120, 5), list.back(), {1.0, 600, "soak", 0, 2, 90});
    return list;
}

std::string failure(const std::function<void()>& call) {
    try {
        call();
    } catch (const quorvel::Error& e) {
        return e.what();
    }
    return "no failure";
}

// What one operation gives: the pixels loaded, the file convert() wrote and the file save()
// wrote of the loaded image (in another format), or the failures' messages.
struct Outcome {
    std::vector<uint8_t> pixels, converted, copied;
    int width = 0, height = 0, channels = 0;
    std::string load_failure, convert_failure;
    bool operator==(const Outcome&) const = default;
};

// The file's bytes; an SGI header's name field (the path written) blanked, as the threads
// write to folders of their own.
std::vector<uint8_t> written(const std::string& path) {
    std::vector<uint8_t> bytes = quorvel::testing::read_file(path);
    if (path.ends_with(".rgb") && bytes.size() >= 104) std::fill_n(bytes.begin() + 24, 80, 0);
    return bytes;
}

// Operation `op` of the table: every source with every target, the copy in the next format.
Outcome run_operation(const std::vector<std::string>& sources, int op, const std::string& out) {
    const std::string& source = sources[op / 7];
    const std::string target = out + "/to." + kTargets[op % 7],
                      copy = out + "/copy." + kTargets[(op + 1) % 7];
    Outcome o;
    o.load_failure = failure([&] {
        const quorvel::Raster image = quorvel::load(source);
        o.pixels = image.pixels;
        o.width = image.width, o.height = image.height, o.channels = image.channels;
        quorvel::save(image, copy, kSoakOptions);
        o.copied = written(copy);
    });
    o.convert_failure = failure([&] {
        quorvel::convert(source, target, kSoakOptions);
        o.converted = written(target);
    });
    return o;
}

// Two failures whose messages name the thread's own files.
std::vector<std::string> own_failures(const std::string& out) {
    return {failure([&] { quorvel::load(out + "/junk.png"); }),
            failure([&] { quorvel::save(gray_raster(90, 90, 1), out + "/none/x.tif"); })};
}

std::string thread_dir(const quorvel::testing::TempDir& dir, const std::string& name) {
    std::filesystem::create_directories(dir.file(name));
    quorvel::testing::write_file(dir.file(name + "/junk.png"), {0x89, 'P', 'N', 'G', 1, 2});
    return dir.file(name);
}

// What one round of the C exports gives, on the process-wide state and presenter.
struct ExportRound {
    std::vector<std::vector<uint8_t>> files, decoded;
    std::vector<int> ppis;
    std::vector<std::string> comments, shown;
    bool failed_load_is_null = false;
    bool operator==(const ExportRound&) const = default;
};

// The stream functions' buffers belong to the library, which frees them on the next call.
struct StreamBuffers {
    unsigned char* stream = nullptr;
    unsigned char* pixels = nullptr;
};

std::vector<std::string> texts(const quorvel::testing::RecordingPresenter& shown) {
    std::vector<std::string> list;
    for (const auto& m : shown.messages) list.push_back(m.caption + ": " + m.text);
    return list;
}

void stream_round(ExportRound& r, StreamBuffers& buffers, const std::vector<uint8_t>& pixels) {
    static char comment[] = "stream";
    int length = 0, width = 0, height = 0, ppi = 0;
    WSQ_encode_stream(const_cast<unsigned char*>(pixels.data()), 100, 90, 0.9, 400, comment,
                      &buffers.stream, &length);
    char* decoded_comment = nullptr;
    WSQ_decode_stream(buffers.stream, length, &buffers.pixels, &width, &height, &ppi,
                      &decoded_comment);
    r.decoded.emplace_back(buffers.pixels, buffers.pixels + static_cast<size_t>(width) * height);
    r.ppis.push_back(ppi);
    r.comments.push_back(decoded_comment != nullptr ? decoded_comment : "(none)");
    std::free(decoded_comment);
}

// Every source through CreateBMPFromFile and SaveBMPToFile (types 1 to 7 in turn) with the
// settings written first, the WSQ settings each load leaves, the in-memory WSQ streams, and
// two failures that the presenter shows.
ExportRound run_exports(const std::vector<std::string>& sources, const std::string& out,
                        StreamBuffers& buffers, quorvel::testing::RecordingPresenter& shown) {
    static char comment[] = "exports";
    const quorvel::wsq::DiagCapture codec_lines;  // the WSQ saves' reports, not for the log
    static const std::vector<uint8_t> pixels = quorvel::testing::ridge_pattern(100, 90, 9);
    WriteWSQ_bitrate(1.2), WriteWSQ_ppi(500), WriteWSQ_comment(comment), WriteTIFFcompression(1);
    ExportRound r;
    HBITMAP bitmap = nullptr;
    for (size_t k = 0; k < sources.size(); ++k) {
        std::string source = sources[k], target = out + "/e" + std::to_string(k) + ".x";
        bitmap = CreateBMPFromFile(source.data());
        r.ppis.push_back(ReadWSQ_ppi());
        r.comments.push_back(ReadWSQ_comment() != nullptr ? ReadWSQ_comment() : "(none)");
        SaveBMPToFile(bitmap, target.data(), 1 + k % 7);
        r.files.push_back(
            quorvel::testing::read_file(out + "/e" + std::to_string(k) + "." + kTargets[k % 7]));
    }
    stream_round(r, buffers, pixels);
    std::string junk = out + "/junk.png", unwritable = out + "/none/c.png";
    SaveBMPToFile(bitmap, unwritable.data(), 4);
    r.failed_load_is_null = CreateBMPFromFile(junk.data()) == nullptr;
    GetLastError();
    r.shown = texts(shown);
    shown.messages.clear();
    return r;
}

long resident_kb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Thread i's round r runs operation (i * 7 + r * 10) % 63: every thread walks the whole table
// from its own start (10 is prime to 63), and at any moment the threads are on different files.
struct Soak {
    std::vector<std::string> sources;
    std::vector<Outcome> serial;  // one per operation
    std::vector<std::vector<std::string>> serial_failures;
    std::vector<std::string> dirs;
    std::vector<std::vector<std::string>> mismatches;  // one list per thread

    // The same threads run the warm-up rounds and the rest (a new thread is new memory of
    // its own, under the sanitizers above all); `warmed` runs once between the two.
    void run(int warm, int last, const std::function<void()>& warmed) {
        std::barrier between(kSoakThreads, [&]() noexcept { warmed(); });
        std::vector<std::thread> threads;
        for (int i = 0; i < kSoakThreads; ++i)
            threads.emplace_back([&, i] {
                for (int r = 0; r < last; ++r) {
                    if (r == warm) between.arrive_and_wait();
                    check(i, (i * 7 + r * 10) % 63, r);
                }
            });
        for (std::thread& t : threads) t.join();
    }
    void check(int i, int op, int round) {
        const std::string where = "thread " + std::to_string(i) + " round " +
                                  std::to_string(round) + " operation " + std::to_string(op);
        if (!(run_operation(sources, op, dirs[i]) == serial[op])) mismatches[i].push_back(where);
        if (own_failures(dirs[i]) != serial_failures[i])
            mismatches[i].push_back(where + " failures");
    }
};

TEST(CppThreads, SoakOfRasterCallsOnEightThreadsBesideTheExportsMatchesSerialRunsInFlatMemory) {
    quorvel::testing::TempDir dir;
    Soak soak;
    soak.sources = soak_sources(dir);
    ASSERT_EQ(soak.sources.size() * 7, 63u);
    const std::string serial_dir = thread_dir(dir, "serial");
    for (int op = 0; op < 63; ++op)
        soak.serial.push_back(run_operation(soak.sources, op, serial_dir));
    for (int i = 0; i < kSoakThreads; ++i) {
        soak.dirs.push_back(thread_dir(dir, "t" + std::to_string(i)));
        soak.serial_failures.push_back(own_failures(soak.dirs[i]));
        EXPECT_NE(soak.serial_failures[i][0].find(soak.dirs[i]), std::string::npos);
    }
    soak.mismatches.resize(kSoakThreads);

    SetShowFilePropertiesDialog(0);
    quorvel::testing::RecordingPresenter shown;  // the exports' messages, and only theirs
    StreamBuffers buffers;
    const std::string exports_dir = thread_dir(dir, "exports");
    const ExportRound reference = run_exports(soak.sources, exports_dir, buffers, shown);
    ASSERT_TRUE(reference.failed_load_is_null);
    ASSERT_FALSE(reference.shown.empty());
    std::atomic<bool> done{false};
    int export_rounds = 0, export_mismatches = 0;
    std::thread exports([&] {
        do {
            export_mismatches +=
                run_exports(soak.sources, exports_dir, buffers, shown) == reference ? 0 : 1;
            ++export_rounds;
        } while (!done.load());
    });
    const char* rounds = std::getenv("QUORVEL_SOAK_ROUNDS");
    const int last_round = rounds != nullptr ? std::max(2, std::atoi(rounds)) : 8;
    long warm_kb = 0;  // the warm-up fills caches, pools and the allocator's arenas
    soak.run(std::max(1, last_round / 2), last_round, [&] { warm_kb = resident_kb(); });
    const long last_kb = resident_kb();
    done = true;
    exports.join();
    std::free(buffers.stream);  // no next call frees the last ones
    std::free(buffers.pixels);
    SetShowFilePropertiesDialog(1);

    for (int i = 0; i < kSoakThreads; ++i)
        EXPECT_EQ(soak.mismatches[i], std::vector<std::string>{});
    EXPECT_EQ(export_mismatches, 0) << "of " << export_rounds << " rounds of the exports";
    std::printf(
        "soak: %d rounds on %d threads, %d rounds of the exports; VmRSS %ld kB after the "
        "warm-up rounds, %ld kB after the last\n",
        last_round, kSoakThreads, export_rounds, warm_kb, last_kb);
#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer keeps freed blocks resident (quarantine)
    EXPECT_LE(last_kb - warm_kb, kResidentGrowthKb);
#endif
}

}  // namespace
