// Quorvel.ini: the two keys read and written back without disturbing the rest.
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

TEST(ConverterIni, EveryDirectoryIsReadBackAsTyped) {
    TempDir tmp;
    const std::string path = tmp.file("q.ini");
    const std::string longest = "/" + std::string(4094, 'd');
    const std::string cases[] = {longest,       "/a ;comment", "/b\t;x", " /lead", "/trail ",
                                 "\"/quoted\"", "/semi;colon", "#/hash", "/x=y",   "C:\\in\\"};
    for (const std::string& typed : cases) {
        ASSERT_TRUE(ui::write_ini_directories(path, {typed, typed + "2"}));
        const ui::RememberedDirectories d = ui::read_ini_directories(path);
        EXPECT_EQ(d.input_directory, typed);
        EXPECT_EQ(d.output_directory, typed + "2");
    }
    // A line break cannot be stored in a line: the key keeps what it had.
    ASSERT_TRUE(ui::write_ini_directories(path, {"/one\nline", ""}));
    EXPECT_EQ(ui::read_ini_directories(path).input_directory, "C:\\in\\");
}

TEST(ConverterIni, SectionAndKeyNamesMatchInAnyCase) {
    TempDir tmp;
    const std::string path = tmp.file("q.ini");
    std::ofstream(path)
        << "[DIRECTORIES]\nInput_Directory=/in\n[directories]\nOUTPUT_DIRECTORY=/out\n";
    const ui::RememberedDirectories d = ui::read_ini_directories(path);
    EXPECT_EQ(d.input_directory, "/in");
    EXPECT_EQ(d.output_directory, "/out");
    ASSERT_TRUE(ui::write_ini_directories(path, {"/new", "/out"}));
    EXPECT_EQ(slurp(path),
              "[DIRECTORIES]\ninput_directory=/new\n[directories]\noutput_directory=/out\n");
}

TEST(ConverterIni, LivesBesideTheProgramWhenWritableElseInTheUserConfiguration) {
    // The tests link the library's code statically: "beside the library" is beside this program.
    const std::string path = ui::default_ini_path();
    EXPECT_TRUE(path.ends_with("/Quorvel.ini"));
    EXPECT_NE(path.find("/tests"), std::string::npos) << path;
}

}  // namespace
}  // namespace quorvel::testing
