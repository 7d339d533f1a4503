#include "wsq/nistcom.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "wsq/diag.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<unsigned char>;

std::string text_of(const FetList* fet) {
    char* s = nullptr;
    EXPECT_EQ(fet2string(&s, fet), 0);
    std::string out = s ? s : "";
    std::free(s);
    return out;
}

FetList* parse(const char* text) {
    FetList* fet = nullptr;
    EXPECT_EQ(string2fet(&fet, text), 0);
    return fet;
}

// The COM segments of a written buffer, in order.
std::vector<std::string> comments_in(const Bytes& b) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i + 4 <= b.size()) {
        EXPECT_EQ(b[i], 0xff);
        EXPECT_EQ(b[i + 1], 0xa8);
        const size_t len = (static_cast<size_t>(b[i + 2]) << 8) | b[i + 3];
        out.emplace_back(b.begin() + static_cast<long>(i) + 4,
                         b.begin() + static_cast<long>(i + 2 + len));
        i += 2 + len;
    }
    EXPECT_EQ(i, b.size());
    return out;
}

Bytes write_comments(const char* comment, int w, int h, int ppi, float rate) {
    Bytes data(200000);
    OutputBuffer out{data.data(), static_cast<int>(data.size()), 0};
    EXPECT_EQ(put_wsq_comments(comment, w, h, 8, ppi, 1, rate, out), 0);
    data.resize(static_cast<size_t>(out.length));
    return data;
}

TEST(NistcomText, EncoderAttributesOfANewList) {
    const auto segments = write_comments(nullptr, 500, 500, 500, 0.75f);
    const auto list = comments_in(segments);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0],
              "NIST_COM 9\nPIX_WIDTH 500\nPIX_HEIGHT 500\nPIX_DEPTH 8\nPPI 500\n"
              "LOSSY 1\nCOLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE 0.750000");
    const auto other = comments_in(write_comments(nullptr, 545, 622, -1, 2.25f));
    EXPECT_NE(other[0].find("PIX_WIDTH 545\nPIX_HEIGHT 622\n"), std::string::npos);
    EXPECT_NE(other[0].find("PPI -1\n"), std::string::npos);
    EXPECT_NE(other[0].find("WSQ_BITRATE 2.250000"), std::string::npos);
}

TEST(NistcomText, PlainCommentFollowsInItsOwnSegment) {
    const auto list = comments_in(write_comments("left thumb", 300, 300, 500, 0.75f));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].rfind("NIST_COM 9\n", 0), 0u);
    EXPECT_EQ(list[1], "left thumb");
    const auto empty = comments_in(write_comments("", 300, 300, 500, 0.75f));
    ASSERT_EQ(empty.size(), 2u);
    EXPECT_EQ(empty[1], "");
}

TEST(NistcomText, CallersAttributesKeepTheirPlaceAndEncoderOnesWin) {
    const auto list = comments_in(write_comments("NIST_COM 2\nPPI 300", 400, 410, 500, 0.75f));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0],
              "NIST_COM 9\nPPI 500\nPIX_WIDTH 400\nPIX_HEIGHT 410\nPIX_DEPTH 8\n"
              "LOSSY 1\nCOLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE 0.750000");
    // An attribute without a value survives the trip through the text form.
    const auto bare =
        comments_in(write_comments("NIST_COM 3\nFINGER\nHAND left", 400, 410, 500, 1.0f));
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].rfind("NIST_COM 11\nFINGER \nHAND left\nPIX_WIDTH 400\n", 0), 0u);
}

TEST(NistcomText, CommentThatCannotFitIsRefused) {
    std::string huge(70000, 'c');
    Bytes data(200000);
    OutputBuffer out{data.data(), static_cast<int>(data.size()), 0};
    DiagCapture capture;
    EXPECT_EQ(put_wsq_comments(huge.c_str(), 500, 500, 8, 500, 1, 0.75f, out), -34);
}

TEST(NistcomParse, NamesValuesBlanksAndRepeats) {
    FetList* fet = parse("A 1\nB two words \r\nC\t\t3\n\nA  4\nD\nE 5");
    ASSERT_NE(fet, nullptr);
    ASSERT_EQ(fet->count, 5);
    EXPECT_STREQ(fet->names[0], "A");
    EXPECT_STREQ(fet->values[0], "4");  // repeated name replaces, keeps position
    EXPECT_STREQ(fet->values[1], "two words \r");
    EXPECT_STREQ(fet->values[2], "3");
    EXPECT_STREQ(fet->names[3], "D");
    EXPECT_EQ(fet->values[3], nullptr);  // a name with no value, not "D\nE" with value "5"
    EXPECT_STREQ(fet->names[4], "E");
    EXPECT_STREQ(fet->values[4], "5");
    EXPECT_EQ(text_of(fet), "A 4\nB two words \r\nC 3\nD \nE 5");
    release_fet(fet);
}

TEST(NistcomParse, EmptyNameAndOverlongFieldsAreRefused) {
    FetList* fet = nullptr;
    DiagCapture capture;
    EXPECT_EQ(string2fet(&fet, " X 1"), -2);
    EXPECT_EQ(capture.text(), "ERROR : string2fet : empty name string found\n");
    EXPECT_EQ(fet, nullptr);
    const std::string ok = "N " + std::string(511, 'v');
    ASSERT_EQ(string2fet(&fet, ok.c_str()), 0);
    release_fet(fet);
    fet = nullptr;
    const std::string long_value = "N " + std::string(512, 'v');
    EXPECT_EQ(string2fet(&fet, long_value.c_str()), -2);
    const std::string long_name = std::string(512, 'n') + " 1";
    EXPECT_EQ(string2fet(&fet, long_name.c_str()), -2);
    EXPECT_EQ(fet, nullptr);
}

TEST(NistcomList, GrowsByATenthOrTenAndLooksUp) {
    FetList* fet = nullptr;
    ASSERT_EQ(allocfet_ret(&fet, 6), 0);
    for (int i = 0; i < 7; ++i)
        ASSERT_EQ(updatefet_ret(std::to_string(i).c_str(), nullptr, fet), 0);
    EXPECT_EQ(fet->capacity, 16);
    for (int i = 7; i < 120; ++i) ASSERT_EQ(updatefet_ret(std::to_string(i).c_str(), "v", fet), 0);
    EXPECT_EQ(fet->capacity, 127);  // 16, 26, ... 106, 116, then 116 / 10 = 11 more
    for (int i = 120; i < fet->capacity; ++i) {
        EXPECT_EQ(fet->names[i], nullptr);
        EXPECT_EQ(fet->values[i], nullptr);
    }
    FetList* hundred = nullptr;
    ASSERT_EQ(allocfet_ret(&hundred, 100), 0);
    for (int i = 0; i < 101; ++i)
        ASSERT_EQ(updatefet_ret(std::to_string(i).c_str(), "v", hundred), 0);
    EXPECT_EQ(hundred->capacity, 110);
    for (int i = 101; i < 111; ++i)
        ASSERT_EQ(updatefet_ret(std::to_string(i).c_str(), "v", hundred), 0);
    EXPECT_EQ(hundred->capacity, 121);
    release_fet(hundred);

    char* value = reinterpret_cast<char*>(1);
    EXPECT_EQ(lookupfet(&value, "6", fet), 1);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(lookupfet(&value, "77", fet), 1);
    EXPECT_STREQ(value, "v");
    std::free(value);
    value = reinterpret_cast<char*>(1);
    EXPECT_EQ(lookupfet(&value, "missing", fet), 0);
    EXPECT_EQ(value, reinterpret_cast<char*>(1));
    DiagCapture capture;
    EXPECT_EQ(extractfet_ret(&value, "PPI", fet), -2);
    EXPECT_EQ(capture.text(), "ERROR : extractfet_ret : feature PPI not found\n");
    release_fet(fet);
}

TEST(NistcomList, LossyFlagIsNeverUnset) {
    FetList* fet = parse("NIST_COM 2\nLOSSY 1");
    DiagCapture capture;
    ASSERT_EQ(combine_nistcom(&fet, 10, 20, 8, 500, 0), 0);
    EXPECT_EQ(capture.text(), "WARNING : combine_nistcom : request to unset lossy flag ignored\n");
    char* value = nullptr;
    ASSERT_EQ(extractfet_ret(&value, "LOSSY", fet), 0);
    EXPECT_STREQ(value, "1");
    std::free(value);
    ASSERT_EQ(extractfet_ret(&value, NISTCOM_NAME, fet), 0);
    EXPECT_STREQ(value, "6");
    std::free(value);
    release_fet(fet);

    FetList* fresh = nullptr;
    ASSERT_EQ(combine_nistcom(&fresh, 10, 20, 8, 500, 0), 0);
    EXPECT_EQ(text_of(fresh),
              "NIST_COM 6\nPIX_WIDTH 10\nPIX_HEIGHT 20\nPIX_DEPTH 8\nPPI 500\nLOSSY 0");
    release_fet(fresh);
}

// ---- resolution lookup on whole streams

struct Stream {
    Bytes b;
    Stream() {
        b.push_back(0xff);
        b.push_back(0xa0);
    }
    Stream& com(const std::string& text) {
        b.insert(b.end(), {0xff, 0xa8, static_cast<unsigned char>((text.size() + 2) >> 8),
                           static_cast<unsigned char>(text.size() + 2)});
        b.insert(b.end(), text.begin(), text.end());
        return *this;
    }
    Stream& segment(unsigned char marker, int body) {
        b.insert(b.end(), {0xff, marker, 0, static_cast<unsigned char>(body + 2)});
        b.insert(b.end(), static_cast<size_t>(body), 0x11);
        return *this;
    }
    Stream& sob() {
        b.insert(b.end(), {0xff, 0xa3, 0, 3, 0, 0x12, 0xff, 0xa1});
        return *this;
    }
};

int ppi_of(const Stream& s) {
    int ppi = -7;
    DiagCapture quiet;
    const int ret = find_ppi_mem(&ppi, s.b.data(), static_cast<int>(s.b.size()));
    return ret != 0 ? ret * 1000 : ppi;
}

TEST(NistcomPpi, FirstNistcomBeforeTheFirstBlockGivesTheResolution) {
    EXPECT_EQ(ppi_of(Stream().segment(0xa4, 5).sob()), -1);
    EXPECT_EQ(ppi_of(Stream().com("NIST_COM 2\nPPI 500").sob()), 500);
    EXPECT_EQ(ppi_of(Stream().com("NIST_COM 2\nPPI 500x").sob()), 500);
    EXPECT_EQ(ppi_of(Stream().com("NIST_COM 2\nPPI").sob()), -1);
    EXPECT_EQ(ppi_of(Stream().com("NIST_COM 2\nPPI  -12").sob()), -12);
    EXPECT_EQ(ppi_of(Stream()
                         .com("plain")
                         .segment(0xa2, 15)
                         .com("NIST_COM 2\nPPI 1000")
                         .com("NIST_COM 2\nPPI 250")
                         .sob()),
              1000);
    EXPECT_EQ(ppi_of(Stream().com("NIST_CO").sob()), -1);
    Stream after;
    after.sob();
    after.b.pop_back();
    after.b.pop_back();
    after.com("NIST_COM 2\nPPI 500").b.insert(after.b.end(), {0xff, 0xa1});
    EXPECT_EQ(ppi_of(after), -1);
    EXPECT_EQ(ppi_of(Stream().com("NIST_COM 2\nHAND 1").sob()), -2000);
}

}  // namespace
}  // namespace quorvel::wsq
