// Quorvel.ini: the two keys read with inih and written back without disturbing the rest.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fake_backend.h"
#include "support/test_support.h"
#include "ui/converter_ini.h"

namespace quorvel::testing {
namespace {

TEST(ConverterIni, MissingFileOrKeysGiveEmptyDirectories) {
    TempDir tmp;
    EXPECT_EQ(ui::read_ini_directories(tmp.file("none.ini")).input_directory, "");
    std::ofstream(tmp.file("q.ini"))
        << "[Other]\ninput_directory=/no\n[Directories]\noutput_directory = /yes \n";
    const ui::RememberedDirectories d = ui::read_ini_directories(tmp.file("q.ini"));
    EXPECT_EQ(d.input_directory, "");
    EXPECT_EQ(d.output_directory, "/yes");
}

TEST(ConverterIni, WritingReplacesTheKeysAndKeepsEverythingElse) {
    TempDir tmp;
    const std::string path = tmp.file("q.ini");
    std::ofstream(path) << "; mine\n[Directories]\nother=1\ninput_directory=/old\n[Later]\nk=v\n";
    ASSERT_TRUE(ui::write_ini_directories(path, {"/new in", "D:\\out"}));
    EXPECT_EQ(slurp(path),
              "; mine\n[Directories]\nother=1\ninput_directory=/new "
              "in\noutput_directory=D:\\out\n[Later]\nk=v\n");
    const ui::RememberedDirectories d = ui::read_ini_directories(path);
    EXPECT_EQ(d.input_directory, "/new in");
    EXPECT_EQ(d.output_directory, "D:\\out");
}

TEST(ConverterIni, ValuesTheReaderCannotGiveBackAreStoredEmptyNotCut) {
    TempDir tmp;
    const std::string path = tmp.file("q.ini");
    const std::string long_path = "/" + std::string(300, 'd');
    ASSERT_TRUE(ui::write_ini_directories(path, {long_path, "/a ;comment"}));
    const ui::RememberedDirectories d = ui::read_ini_directories(path);
    EXPECT_EQ(d.input_directory, "");
    EXPECT_EQ(d.output_directory, "");
    // A long line written by someone else is not read back cut short either.
    std::ofstream(path) << "[Directories]\ninput_directory=" << long_path << "\n";
    EXPECT_EQ(ui::read_ini_directories(path).input_directory, "");
    const std::string fits = "/" + std::string(150, 'e');
    ASSERT_TRUE(ui::write_ini_directories(path, {fits, ""}));
    EXPECT_EQ(ui::read_ini_directories(path).input_directory, fits);
}

TEST(ConverterIni, LivesBesideTheProgramWhenWritableElseInTheUserConfiguration) {
    // The tests link the library's code statically: "beside the library" is beside this program.
    const std::string path = ui::default_ini_path();
    EXPECT_TRUE(path.ends_with("/Quorvel.ini"));
    EXPECT_NE(path.find("/tests"), std::string::npos) << path;
}

}  // namespace
}  // namespace quorvel::testing
