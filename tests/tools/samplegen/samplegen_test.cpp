// quorvel_samplegen writes the bundled samples again, byte for byte, and says which it could
// not write.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace quorvel::testing {
namespace {

TEST(Samplegen, WritesTheBundledSamplesByteForByte) {
    TempDir dir;
    const std::string out = run_output(std::string("'") + QUORVEL_SAMPLEGEN + "' '" + dir.file("") +
                                       "' 2>&1; echo \"#$?\"");
    EXPECT_NE(out.find("#0"), std::string::npos) << out;
    for (const char* name : {"ridges_300x300.pgm", "ridges_545x622.pgm", "ridges_800x750.pgm"}) {
        EXPECT_NE(out.find(name), std::string::npos) << out;
        EXPECT_EQ(read_file(dir.file(name)), read_file(std::string(QUORVEL_SAMPLES) + "/" + name))
            << name;
    }
}

TEST(Samplegen, AFolderItCannotWriteInFailsWithTheReason) {
    TempDir dir;
    const std::string out = run_output(std::string("'") + QUORVEL_SAMPLEGEN + "' '" +
                                       dir.file("missing") + "' 2>&1; echo \"#$?\"");
    EXPECT_NE(out.find("samplegen: "), std::string::npos) << out;
    EXPECT_NE(out.find("#1"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorvel::testing
