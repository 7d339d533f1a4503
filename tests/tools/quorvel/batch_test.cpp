// `quorvel batch` on real trees made with ImageMagick: the same files and bytes as the converter
// window, the same bytes with one worker or two, bad files reported, inputs left alone, and a
// clean stop on Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "support/recording_presenter.h"
#include "support/test_support.h"
#include "support/text_lines.h"
#include "ui/converter_form.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

int batch(const std::string& arguments) {
    return run(std::string("'") + QUORVEL_TOOL + "' batch " + arguments + " >/dev/null 2>&1");
}

// Every file below `root`, by its path relative to it, with its bytes.
std::map<std::string, std::vector<uint8_t>> tree(const std::string& root) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = read_file(entry.path().string());
    }
    return files;
}

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_tool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
        in = dir.file("in");
        fs::create_directories(in + "/sub/deeper");
        const std::pair<const char*, const char*> images[] = {
            {"a.png", "120x100"},    {"a.bmp", "90x95"},       {"b.pcx", "100x130"},
            {"sub/c.gif", "110x90"}, {"sub/D.PNG", "96x96"},   {"sub/deeper/e.tga", "130x82"},
            {"f.jpg", "100x100"},    {"sub/tiny.png", "20x20"}};
        for (const auto& [name, size] : images) {
            ASSERT_EQ(run("convert -size " + std::string(size) +
                          " plasma:fractal -seed 7 -colorspace gray '" + in + "/" + name + "'"),
                      0);
        }
        write_file(in + "/sub/broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
    }

    TempDir dir;
    std::string in;
};

TEST_F(Batch, BadFilesAreReportedAndCountedTheTreeIsRebuiltAndInputsAreUntouched) {
    const auto before = tree(in);
    const std::string report = dir.file("report.csv");
    EXPECT_EQ(batch("'" + in + "' '" + dir.file("out") +
                    "' --to wsq --recursive --jobs 2 --report '" + report + "'"),
              1);
    EXPECT_EQ(tree(in), before);
    const auto out = tree(dir.file("out"));
    for (const char* name :
         {"a.wsq", "b.wsq", "f.wsq", "sub/c.wsq", "sub/D.wsq", "sub/deeper/e.wsq"}) {
        EXPECT_EQ(out.count(name), 1u) << name;
    }
    // a.png and a.bmp share a.wsq; the broken file and the one too small for WSQ give nothing
    EXPECT_EQ(out.size(), 6u);
    const std::vector<std::string> lines = file_lines(report);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "file,status,message,input_bytes,output_bytes,seconds");
    size_t failed = 0;
    for (const std::string& line : lines) {
        failed += line.find("sub/broken.png,read failed,") != std::string::npos;
        // The writer's own reason, not a guess from the file's absence.
        failed += line.find("sub/tiny.png,write failed,ERROR : wsq_encode_1 : image too small") !=
                  std::string::npos;
    }
    EXPECT_EQ(failed, 2u);
}

TEST_F(Batch, TwoWorkersWriteTheSameBytesAsOne) {
    ASSERT_EQ(batch("'" + in + "' '" + dir.file("one") +
                    "' --to wsq -r --jobs 1 --formats png,bmp,pcx,gif,tga,jpg"),
              1);
    ASSERT_EQ(batch("'" + in + "' '" + dir.file("two") +
                    "' --to wsq -r --jobs 2 --formats png,bmp,pcx,gif,tga,jpg"),
              1);
    const auto one = tree(dir.file("one"));
    EXPECT_EQ(one.size(), 6u);
    EXPECT_EQ(one, tree(dir.file("two")));
    // a.bmp is walked before a.png, so the later a.png decides a.wsq in both runs.
    ASSERT_EQ(batch("'" + in + "' '" + dir.file("png") + "' --to wsq --jobs 1 --formats png"), 0);
    EXPECT_EQ(one.at("a.wsq"), tree(dir.file("png")).at("a.wsq"));
}

TEST_F(Batch, WritesWhatTheConverterWindowWritesOnTheSameTree) {
    ASSERT_EQ(batch("'" + in + "' '" + dir.file("cli") + "' --to png -r --jobs 2"), 1);
    RecordingPresenter presenter;
    ui::TFileFormatConverterForm form;
    form.set_ini_path(dir.file("Quorvel.ini"));
    form.InputFileFormatsCheckListBox.click_item(0);
    form.InputDirectoryEdit.set_text(in + "/");
    form.OutputDirectoryEdit.set_text(dir.file("window"));
    form.SubdirectoriesCheckBox.click();
    form.OutputFileFormatComboBox.set_item_index(3);
    form.StartConversionButton.click();
    EXPECT_EQ(form.ProgressLabel.caption(), "100 %");
    const auto window = tree(dir.file("window"));
    EXPECT_EQ(window.size(), 7u);
    EXPECT_EQ(window, tree(dir.file("cli")));
}

TEST_F(Batch, NeverWritesOverAnInputAndSkipsExistingOutputsWhenAsked) {
    const auto before = tree(in);
    const std::string report = dir.file("r.csv");
    EXPECT_EQ(batch("'" + in + "' '" + in + "' --to png --formats png --report '" + report + "'"),
              0);
    EXPECT_EQ(tree(in), before);
    EXPECT_NE(file_lines(report).at(1).find("skipped,the output would replace an input file"),
              std::string::npos);

    ASSERT_EQ(batch("'" + in + "' '" + dir.file("out") + "' --to wsq --formats pcx"), 0);
    const auto first = fs::last_write_time(dir.file("out/b.wsq"));
    EXPECT_EQ(batch("'" + in + "' '" + dir.file("out") +
                    "' --to wsq --formats pcx --skip-existing --report '" + report + "'"),
              0);
    EXPECT_EQ(fs::last_write_time(dir.file("out/b.wsq")), first);
    EXPECT_NE(file_lines(report).at(1).find("skipped,the output file exists"), std::string::npos);
}

TEST_F(Batch, WsqOptionsReachTheFiles) {
    ASSERT_EQ(batch("'" + in + "' '" + dir.file("low") + "' --to wsq --formats pcx"), 0);
    ASSERT_EQ(
        batch("'" + in + "' '" + dir.file("high") + "' --to wsq --formats pcx --bitrate 2.25" +
              " --ppi 1000 --comment 'left thumb'"),
        0);
    const std::vector<uint8_t> low = read_file(dir.file("low/b.wsq"));
    const std::vector<uint8_t> high = read_file(dir.file("high/b.wsq"));
    EXPECT_GT(high.size(), low.size());
    const std::string text(high.begin(), high.end());
    EXPECT_NE(text.find("left thumb"), std::string::npos);
    EXPECT_NE(text.find("PPI 1000"), std::string::npos);
}

TEST_F(Batch, DryRunListsTheNamesAndWritesNothing) {
    const std::string listing =
        run_output(std::string("'") + QUORVEL_TOOL + "' batch '" + in + "' '" + dir.file("out") +
                   "' --to tga --formats pcx,gif -r --dry-run");
    // The formats follow the window's list order (GIF before PCX), however they were typed.
    EXPECT_EQ(listing, in + "/sub/c.gif -> " + dir.file("out") + "/sub/c.tga\n" + in +
                           "/b.pcx -> " + dir.file("out") + "/b.tga\n");
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

TEST_F(Batch, SavesUnderTheRealNameWithTheBytesConvertWrites) {
    // 243 characters: the replacing write's temporary name still fits in 255.
    const std::string stem = std::string(239, 'n');
    fs::create_directories(dir.file("long"));
    fs::copy_file(in + "/b.pcx", dir.file("long/" + stem + ".pcx"));
    ASSERT_EQ(batch("'" + dir.file("long") + "' '" + dir.file("out") + "' --to rgb"), 0);
    const std::string target = dir.file("out") + "/" + stem + ".rgb";
    const std::vector<uint8_t> batched = read_file(target);
    ASSERT_EQ(run(std::string("'") + QUORVEL_TOOL + "' convert '" + dir.file("long/" + stem) +
                  ".pcx' '" + target + "' >/dev/null"),
              0);
    EXPECT_EQ(batched, read_file(target));  // the SGI header names the file: the real name
    EXPECT_EQ(tree(dir.file("out")).size(), 1u);
}

TEST_F(Batch, RefusesUnknownFormatsAndMissingInput) {
    EXPECT_EQ(batch("'" + in + "' '" + dir.file("o") + "' --to xyz"), 2);
    EXPECT_EQ(batch("'" + in + "' '" + dir.file("o") + "' --to wsq --formats png,xyz"), 2);
    EXPECT_EQ(batch("'" + dir.file("none") + "' '" + dir.file("o") + "' --to wsq"), 2);
}

TEST_F(Batch, CtrlCStopsAfterTheFilesInFlightLeavingOnlyWholeOutputs) {
    for (int i = 0; i < 40; ++i)
        fs::copy_file(in + "/b.pcx", in + "/copy" + std::to_string(i) + ".pcx");
    ASSERT_EQ(batch("'" + in + "' '" + dir.file("whole") + "' --to wsq --formats pcx --jobs 1"), 0);
    const auto whole = tree(dir.file("whole"));
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(QUORVEL_TOOL, QUORVEL_TOOL, "batch", in.c_str(), dir.file("out").c_str(), "--to",
              "wsq", "--formats", "pcx", "--jobs", "2", "--report", dir.file("r.csv").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // The output folder appears once the tool can be stopped cleanly.
    for (int i = 0; i < 1000 && !fs::exists(dir.file("out")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const auto out = tree(dir.file("out"));
    // Whatever was written is complete (the bytes of an uninterrupted run); no temporary is left.
    for (const auto& [name, bytes] : out) {
        ASSERT_EQ(whole.count(name), 1u) << name;
        EXPECT_EQ(bytes, whole.at(name)) << name;
    }
    RecordProperty("exit_status", WEXITSTATUS(status));
    if (WEXITSTATUS(status) == 130) {
        EXPECT_LT(out.size(), whole.size());
        bool stopped = false;
        for (const std::string& line : file_lines(dir.file("r.csv")))
            stopped |= line.find(",stopped,") != std::string::npos;
        EXPECT_TRUE(stopped);
    } else {
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

TEST_F(Batch, WorkersEndWithAKilledRunLeavingOnlyWholeFiles) {
    const std::string big = dir.file("big");
    fs::create_directories(big);
    ASSERT_EQ(run("convert -size 1500x1500 plasma:fractal -seed 5 -colorspace gray -depth 8 '" +
                  big + "/p0.png'"),
              0);
    for (int i = 1; i < 40; ++i)
        fs::copy_file(big + "/p0.png", big + "/p" + std::to_string(i) + ".png");
    ASSERT_EQ(run(std::string("'") + QUORVEL_TOOL + "' convert '" + big + "/p0.png' '" +
                  dir.file("whole.wsq") + "' >/dev/null"),
              0);
    const std::vector<uint8_t> whole = read_file(dir.file("whole.wsq"));
    // Orphaned workers become this process's children, so their end can be waited for.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(QUORVEL_TOOL, QUORVEL_TOOL, "batch", big.c_str(), dir.file("out").c_str(), "--to",
              "wsq", "--jobs", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto written = [&] {
        std::error_code error;
        return fs::exists(dir.file("out/p0.wsq"), error) ||
               fs::exists(dir.file("out/p1.wsq"), error);
    };
    for (int i = 0; i < 3000 && !written(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, SIGKILL);
    while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    const auto out = tree(dir.file("out"));
    EXPECT_LT(out.size(), 20u);  // not the whole folder
    for (const auto& [name, bytes] : out) EXPECT_EQ(bytes, whole) << name;
}

}  // namespace
}  // namespace quorvel::testing
