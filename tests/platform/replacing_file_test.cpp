#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/replacing_file.h"
#include "support/test_support.h"

namespace quorvel::platform {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

bool write(const std::string& target, const Bytes& bytes) {
    std::string reason;
    return write_file_replacing(target, bytes, reason);
}

// A link, relative or absolute, alone or in a chain, still names the file that gets written.
TEST(ReplacingFile, WritesTheFileALinkNamesAndKeepsTheLink) {
    testing::TempDir dir;
    fs::create_directory(dir.file("real"));
    const std::string file = dir.file("real/picture.png");
    const struct {
        std::string link, points_to;
    } cases[] = {{dir.file("relative.png"), "real/picture.png"},
                 {dir.file("absolute.png"), file},
                 {dir.file("chain.png"), "relative.png"}};
    for (const auto& c : cases) {
        fs::create_symlink(c.points_to, c.link);
        testing::write_file(file, {1, 2});
        ASSERT_TRUE(write(c.link, {7, 8, 9})) << c.link;
        EXPECT_TRUE(fs::is_symlink(c.link)) << c.link;
        EXPECT_EQ(fs::read_symlink(c.link), c.points_to);
        EXPECT_EQ(testing::read_file(file), (Bytes{7, 8, 9})) << c.link;
    }
    fs::create_symlink("loop.png", dir.file("loop.png"));
    EXPECT_FALSE(write(dir.file("loop.png"), {1}));
}

TEST(ReplacingFile, KeepsTheOldFilesModeAndOwner) {
    testing::TempDir dir;
    const std::string file = dir.file("kept.bmp");
    testing::write_file(file, {1});
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    const uid_t user = root ? 65534 : geteuid();
    const gid_t group = root ? 65534 : getegid();
    if (root) {
        ASSERT_EQ(chown(file.c_str(), user, group), 0);
    }
    ASSERT_TRUE(write(file, {2, 3}));
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, user);
    EXPECT_EQ(info.st_gid, group);
    EXPECT_EQ(testing::read_file(file), (Bytes{2, 3}));
}

}  // namespace
}  // namespace quorvel::platform
