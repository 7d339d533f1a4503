// libquorvel.so's real windows, as a C host without Qt meets them: with a display the library
// loads libquorvel-qt.so from its own folder and the call holds the host until the window is
// closed (a library preloaded into the host closes it once painted); without a display, with the
// module missing or broken, or with QUORVEL_HEADLESS=1, the call returns at once, headless and
// silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "support/codec_test_helpers.h"
#include "support/test_support.h"
#include "ui/converter_form.h"
#include "ui/dialogs.h"

namespace fs = std::filesystem;
using quorvel::testing::TempDir;

namespace {

enum class Module { Copied, Missing, Broken, OtherVersion };

// The module as built against a library of another version: the version node it needs
// renamed.
void give_module_another_version(const std::string& module) {
    std::vector<uint8_t> bytes = quorvel::testing::read_file(module);
    const std::string node = "QUORVEL_PRIVATE_";
    auto at = std::search(bytes.begin(), bytes.end(), node.begin(), node.end());
    ASSERT_NE(at, bytes.end()) << "the module names no private version node";
    for (; at != bytes.end(); at = std::search(at + 1, bytes.end(), node.begin(), node.end()))
        at[node.size()] = 'X';
    quorvel::testing::write_file(module, bytes);
}

// The library (and the module, unless told otherwise) copied into a fresh folder, so that the
// module is found beside the library and the converter's INI file is written there.
struct Installed {
    TempDir dir;
    std::string library = dir.file("libquorvel.so.0");
    std::string module = dir.file("libquorvel-qt.so");

    explicit Installed(Module kind) {
        fs::copy_file(QUORVEL_SHARED_LIB, library);
        if (kind == Module::Copied || kind == Module::OtherVersion)
            fs::copy_file(QUORVEL_QT_MODULE, module);
        if (kind == Module::OtherVersion) give_module_another_version(module);
        if (kind == Module::Broken) quorvel::testing::write_file(module, {'n', 'o', 't', '\n'});
    }
    std::string ini() const { return dir.file("Quorvel.ini"); }
};

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run_host(const Installed& at, const std::string& environment, const std::string& args,
                 const char* host = QUORVEL_DESKTOP_HOST) {
    using quorvel::codec_test::sh_quote;
    const std::string out = at.dir.file("out.txt"), err = at.dir.file("err.txt");
    const std::string command = "env -u QUORVEL_HEADLESS -u QT_QPA_PLATFORM " + environment + " " +
                                sh_quote(host) + " " + sh_quote(at.library) + " " +
                                sh_quote(at.module) + " " + args + " >" + sh_quote(out) + " 2>" +
                                sh_quote(err);
    const int status = quorvel::testing::run(command);
    auto text = [](const std::string& file) {
        const auto bytes = quorvel::testing::read_file(file);
        return std::string(bytes.begin(), bytes.end());
    };
    return {status, text(out), text(err)};
}

// Width and height from a PNG's header; zeros when the file is not a PNG.
std::pair<uint32_t, uint32_t> png_size(const std::string& file) {
    if (!fs::exists(file)) return {0, 0};
    const auto bytes = quorvel::testing::read_file(file);
    if (bytes.size() < 24 || bytes[1] != 'P' || bytes[2] != 'N' || bytes[3] != 'G') return {0, 0};
    auto be32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
               uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    return {be32(16), be32(20)};
}

const std::string kCloseWhenPainted =
    quorvel::codec_test::sh_quote("LD_PRELOAD=" QUORVEL_CLOSE_WHEN_PAINTED) +
    " QUORVEL_QT_TEST_SCREENSHOT=";

TEST(DesktopModule, ConverterWindowHoldsAHostWithoutQtUntilItIsClosed) {
    Installed at(Module::Copied);
    const std::string shot = at.dir.file("converter.png");
    const Outcome outcome = run_host(at, kCloseWhenPainted + shot, "converter");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "returned\nmodule loaded: yes\n") << outcome.err;
    // The directories are written when the window closes: the call came back after that.
    EXPECT_TRUE(fs::exists(at.ini())) << outcome.err;
    const auto& form = quorvel::ui::converter_form();
    EXPECT_EQ(png_size(shot), std::make_pair(uint32_t(form.width()), uint32_t(form.height())));
}

// The second showing runs the loop again, and closes again, in the same application.
TEST(DesktopModule, ConverterShownAgainAfterClosingHoldsTheHostAgain) {
    Installed at(Module::Copied);
    const Outcome outcome =
        run_host(at, kCloseWhenPainted + at.dir.file("shot.png"), "converter 2");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out,
              "showing 1 wrote the INI file: yes\nshowing 2 wrote the INI file: yes\n"
              "returned\nmodule loaded: yes\n")
        << outcome.err;
}

TEST(DesktopModule, PropertyDialogOfASaveIsARealDialog) {
    Installed at(Module::Copied);
    const std::string shot = at.dir.file("wsq-dialog.png"), target = at.dir.file("print.wsq");
    const std::string args =
        "save " +
        quorvel::codec_test::sh_quote(std::string(QUORVEL_SAMPLES) + "/ridges_300x300.pgm") + " " +
        quorvel::codec_test::sh_quote(target);
    const Outcome outcome = run_host(at, kCloseWhenPainted + shot, args);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "returned\nmodule loaded: yes\n") << outcome.err;
    EXPECT_GT(fs::file_size(target), 100u);
    const auto& dialog = quorvel::ui::wsq_dialog();
    EXPECT_EQ(png_size(shot), std::make_pair(uint32_t(dialog.width()), uint32_t(dialog.height())));
}

TEST(DesktopModule, HostWithItsOwnQtLoopGetsTheWindowAndTheCallBackAtOnce) {
    Installed at(Module::Copied);
    const Outcome outcome = run_host(at, "", "", QUORVEL_DESKTOP_QT_HOST);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "returned with window: " + quorvel::ui::converter_form().caption() +
                               "\ncentred on the screen: yes\nopen after closing: no\n");
    // Not written when the call returned (the window was still open), but when it closed.
    EXPECT_TRUE(fs::exists(at.ini()));
}

struct HeadlessCase {
    const char* label;
    Module module;
    std::string environment;
    bool module_loaded;
};

class Headless : public ::testing::TestWithParam<HeadlessCase> {};

// Nothing closes the window here: a call that waited for one would never return.
TEST_P(Headless, ConverterCallReturnsAtOnceWithoutAWord) {
    const HeadlessCase& c = GetParam();
    Installed at(c.module);
    const std::string shot = at.dir.file("shot.png");
    const Outcome outcome =
        run_host(at, c.environment + " " + kCloseWhenPainted + shot, "converter");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out,
              std::string("returned\nmodule loaded: ") + (c.module_loaded ? "yes" : "no") + "\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(fs::exists(shot));
    EXPECT_FALSE(fs::exists(at.ini()));  // shown headless, never closed
}

INSTANTIATE_TEST_SUITE_P(
    DesktopModule, Headless,
    ::testing::Values(
        HeadlessCase{"NoDisplay", Module::Copied, "-u DISPLAY -u WAYLAND_DISPLAY", false},
        HeadlessCase{"ForcedHeadless", Module::Copied, "QUORVEL_HEADLESS=1", false},
        HeadlessCase{"ModuleMissing", Module::Missing, "", false},
        HeadlessCase{"ModuleBroken", Module::Broken, "", false},
        HeadlessCase{"ModuleOfAnotherVersion", Module::OtherVersion, "", false},
        // Loaded, but it declines rather than let Qt end the process.
        HeadlessCase{"DisplayNotAnswering", Module::Copied, "-u WAYLAND_DISPLAY DISPLAY=:4711",
                     true},
        // A platform nobody sees: the window could never be closed by a user. (Qt, started
        // here, would warn of the virtual server's missing XDG_RUNTIME_DIR.)
        HeadlessCase{"InvisiblePlatform", Module::Copied,
                     "QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=default.warning=false", true}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
