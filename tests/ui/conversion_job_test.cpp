// The conversion job on real temporary trees: walk order, target names, directories made,
// results and stops.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "fake_backend.h"
#include "support/test_support.h"
#include "ui/conversion_job.h"
#include "ui/directory_walk.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

// The names of one directory in the order the file system enumerates them.
std::vector<std::string> enumeration_order(const std::string& directory,
                                           const std::string& pattern) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && ui::matches_pattern(name, pattern))
            names.push_back(directory + "/" + name);
    }
    closedir(dir);
    return names;
}

TEST(ConversionJobWalk, DeeperDirectoriesFirstEachInEnumerationOrderPatternsInTurn) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    for (const char* name :
         {"a.bmp", "z.BMP", "a/b.bmp", "a/c/d.bmp", "a/c/e.png", "f.png", "a/x.txt"})
        touch(in + "/" + name);
    fs::create_directories(in + "/.hidden");
    touch(in + "/.hidden/h.bmp");
    touch(in + "/.shown.bmp");  // hidden files are found, hidden directories are not entered
    ui::ConversionInputs inputs{in + "/", tmp.file("out"), {"\\*.bmp", "\\*.png"}, true, 4};
    FakeBackend backend;
    ui::ConversionJob job(inputs, backend);
    ASSERT_TRUE(job.collect({}));
    std::vector<std::string> expected = {in + "/a/c/d.bmp", in + "/a/b.bmp"};
    // The top directory's .bmp names (".shown.bmp" and "z.BMP" included) in enumeration order.
    const std::vector<std::string> top_all = enumeration_order(in, "*.bmp");
    ASSERT_EQ(top_all.size(), 3u);
    expected.insert(expected.end(), top_all.begin(), top_all.end());
    expected.push_back(in + "/a/c/e.png");
    expected.push_back(in + "/f.png");
    EXPECT_EQ(job.files(), expected);
}

TEST(ConversionJobWalk, WithoutSubdirectoriesOnlyTheTopAndDuplicatesAreKept) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    touch(in + "/one.tif");
    touch(in + "/sub/two.tif");
    fs::create_directories(in + "/folder.tif");  // a directory that matches is collected too
    FakeBackend backend;
    ui::ConversionJob job({in, tmp.file("out"), {"\\*.tif", "\\*.tif"}, false, 1}, backend);
    ASSERT_TRUE(job.collect({}));
    ASSERT_EQ(job.files().size(), 4u);
    EXPECT_EQ(job.files()[0], job.files()[2]);
    EXPECT_EQ(job.files()[1], job.files()[3]);
    for (const std::string& file : job.files()) EXPECT_EQ(file.find("sub"), std::string::npos);
}

TEST(ConversionJobWalk, SymbolicLinkLoopsAreNotFollowed) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    touch(in + "/a/x.png");
    fs::create_directory_symlink(in, in + "/a/loop");
    FakeBackend backend;
    ui::ConversionJob job({in, tmp.file("out"), {"\\*.png"}, true, 4}, backend);
    ASSERT_TRUE(job.collect({}));
    EXPECT_EQ(job.files(), std::vector<std::string>{in + "/a/x.png"});
}

struct TargetCase {
    const char* input_dir;
    const char* output_dir;
    bool subdirectories;
    const char* file;
    const char* expected;
};

class ConversionJobTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(ConversionJobTargets, NameFollowsTheInputBase) {
    const TargetCase& c = GetParam();
    FakeBackend backend;
    ui::ConversionJob job({c.input_dir, c.output_dir, {}, c.subdirectories, 4}, backend);
    EXPECT_EQ(job.output_name(c.file), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    TrailingDelimitersAndDrives, ConversionJobTargets,
    ::testing::Values(TargetCase{"/in", "/out", true, "/in/a/b.bmp", "/out/a/b.png"},
                      TargetCase{"/in/", "/out/", true, "/in/a/b.bmp", "/out/a/b.png"},
                      TargetCase{"C:\\in\\", "C:\\out", true, "C:\\in\\a\\b.bmp",
                                 "C:\\out\\a\\b.png"},
                      TargetCase{"/in", "/out", false, "/in/a/b.bmp", "/out/b.png"},
                      TargetCase{"/in", "C:", false, "C:x.bmp", "C:/x.png"},
                      TargetCase{"/in", "/o.d", false, "/in/noext", "/o.d/noext.png"}));

TEST(ConversionJobRun, CreatesMissingOutputDirectoriesAndReportsEachFile) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    touch(in + "/a/b.bmp");
    touch(in + "/bad.bmp");
    FakeBackend backend;
    ui::ConversionJob job({in, tmp.file("out"), {"\\*.bmp"}, true, 4}, backend);
    ASSERT_TRUE(job.collect({}));
    std::vector<ui::FileResult> results;
    std::vector<int> percents;
    EXPECT_TRUE(job.run(
        [&](size_t j, size_t n, const ui::FileResult& r) {
            results.push_back(r);
            percents.push_back(ui::ConversionJob::percent(j, n));
        },
        {}));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].status, ui::FileStatus::Converted);
    EXPECT_EQ(slurp(tmp.file("out/a/b.png")), in + "/a/b.bmp");
    EXPECT_EQ(results[0].input_bytes, 1u);
    EXPECT_EQ(results[0].output_bytes, (in + "/a/b.bmp").size());
    EXPECT_EQ(results[1].status, ui::FileStatus::ReadFailed);
    // The unreadable file still goes to the save, as a null handle.
    EXPECT_EQ(backend.saves.size(), 2u);
    EXPECT_EQ(percents, (std::vector<int>{0, 50}));
}

TEST(ConversionJobRun, AnOutputThatWouldReplaceAnInputIsSkippedNotSaved) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    for (const char* name : {"/a.bmp", "/a.png", "/c.bmp"}) touch(in + name);
    FakeBackend backend;
    // Output into the input directory, named another way: a.bmp and a.png would both write a.png.
    ui::ConversionJob job({in, in + "/./", {"\\*.bmp", "\\*.png"}, false, 4}, backend);
    ASSERT_TRUE(job.collect({}));
    std::vector<ui::FileResult> results;
    EXPECT_TRUE(
        job.run([&](size_t, size_t, const ui::FileResult& r) { results.push_back(r); }, {}));
    ASSERT_EQ(results.size(), 3u);
    for (const ui::FileResult& r : results) {
        const bool replaces = r.input != in + "/c.bmp";
        EXPECT_EQ(r.status, replaces ? ui::FileStatus::Skipped : ui::FileStatus::Converted)
            << r.input;
        if (replaces) EXPECT_EQ(r.message, ui::kReplacesInput);
    }
    EXPECT_EQ(backend.loads, std::vector<std::string>{in + "/c.bmp"});
    EXPECT_EQ(slurp(in + "/a.png"), "x");  // as touch left it
    EXPECT_EQ(slurp(in + "/c.png"), in + "/c.bmp");
}

TEST(ConversionJobRun, TheWritersOwnAnswerDecidesNotTheFilesTime) {
    TempDir tmp;
    const std::string in = tmp.file("in"), out = tmp.file("out");
    touch(in + "/kept.bmp");
    touch(in + "/refused.bmp");
    fs::create_directories(out);
    FakeBackend backend;
    // A file system with 2 s timestamps dates a file just written before its save began.
    backend.after_save = [&] {
        if (fs::exists(out + "/kept.png"))
            fs::last_write_time(out + "/kept.png",
                                fs::file_time_type::clock::now() - std::chrono::seconds(2));
    };
    ui::ConversionJob job({in, out, {"\\*.bmp"}, false, 4}, backend);
    ASSERT_TRUE(job.collect({}));
    std::map<std::string, ui::FileResult> results;
    EXPECT_TRUE(
        job.run([&](size_t, size_t, const ui::FileResult& r) { results[r.input] = r; }, {}));
    EXPECT_EQ(results[in + "/kept.bmp"].status, ui::FileStatus::Converted);
    EXPECT_EQ(results[in + "/refused.bmp"].status, ui::FileStatus::WriteFailed);
    EXPECT_EQ(results[in + "/refused.bmp"].message, FakeBackend::kRefusal);
}

TEST(ConversionJobRun, ADirectoryThatCannotBeMadeIsReportedAndTheFileStillSaved) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    touch(in + "/a/b.bmp");
    touch(tmp.file("out/a"));  // a file where the directory should go
    FakeBackend backend;
    ui::ConversionJob job({in, tmp.file("out"), {"\\*.bmp"}, true, 4}, backend);
    ASSERT_TRUE(job.collect({}));
    std::vector<std::string> errors;
    const ui::FileResult r = job.convert(0, [&](const std::string& m) { errors.push_back(m); });
    EXPECT_EQ(errors, std::vector<std::string>{"Error: cannot create " + tmp.file("out/a") +
                                               " directory."});
    EXPECT_EQ(r.status, ui::FileStatus::WriteFailed);
    EXPECT_EQ(backend.saves.size(), 1u);
}

TEST(ConversionJobRun, StopIsAskedBeforeEachPatternAndAfterEachFile) {
    TempDir tmp;
    const std::string in = tmp.file("in");
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp"}) touch(in + "/" + name);
    FakeBackend backend;
    ui::ConversionJob job({in, tmp.file("out"), {"\\*.bmp", "\\*.png"}, false, 4}, backend);
    int asked = 0;
    EXPECT_FALSE(job.collect([&] { return ++asked == 2; }));
    EXPECT_EQ(asked, 2);
    ASSERT_TRUE(job.collect({}));
    size_t converted = 0;
    EXPECT_FALSE(job.run([&](size_t, size_t, const ui::FileResult&) { ++converted; },
                         [&] { return converted == 2; }));
    EXPECT_EQ(backend.saves.size(), 2u);
}

}  // namespace
}  // namespace quorvel::testing
