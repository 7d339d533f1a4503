#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <quorvel/quorvel.h>

#include "raster/codecs/codecs.h"
#include "support/image_record.h"
#include "support/recording_presenter.h"
#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "wsq/diag.h"
#include "wsq/wsq.h"

namespace quorvel::raster {
namespace {

using Record = testing::ImageRecord;

using testing::TempDir;

// Options as the load entry point prepares them; owns the comment the reader leaves.
struct Options {
    WsqFileOptions o{24, 0.75, 500, nullptr};
    ~Options() { std::free(o.comment); }
};

// The stream our encoder makes of a gray buffer: what a WSQ file must hold byte for byte.
std::vector<uint8_t> encode(const std::vector<uint8_t>& gray, int w, int h, int depth, int ppi,
                            float bitrate, const char* comment) {
    unsigned char* stream = nullptr;
    int length = 0;
    EXPECT_EQ(wsq::wsq_encode_1(&stream, &length, bitrate, gray.data(), w, h, depth, ppi, comment),
              0);
    std::vector<uint8_t> bytes(stream, stream + length);
    std::free(stream);
    return bytes;
}

// A 24-bit record whose three channels differ, and the gray bytes (top row first) they mean.
void colour_record(Record& r, std::vector<uint8_t>& gray) {
    const std::vector<uint8_t> base = testing::ridge_pattern(r.img.width, r.img.height, 7);
    gray.assign(base.size(), 0);
    for (uint32_t y = 0; y < r.img.height; ++y) {
        uint8_t* row = r.img.pixels + (r.img.height - 1 - y) * r.img.rowBytes;
        for (uint32_t x = 0; x < r.img.width; ++x) {
            const uint8_t g = base[y * r.img.width + x];
            row[3 * x] = static_cast<uint8_t>(g / 2);
            row[3 * x + 1] = g;
            row[3 * x + 2] = static_cast<uint8_t>(255 - g / 3);
            gray[y * r.img.width + x] = static_cast<uint8_t>((g / 2 + g + 255 - g / 3) / 3);
        }
    }
}

TEST(WsqFile, WriterEncodesTheChannelMeanOfEachPixel) {
    TempDir dir;
    Record r(96, 88, 24, 1);
    std::vector<uint8_t> gray;
    colour_record(r, gray);
    WsqFileOptions options{8, 1.5, 300, const_cast<char*>("scanner 7")};
    ASSERT_EQ(WriteWsqFile(dir.file("a.wsq").c_str(), r.img, &options), BMG_OK);
    EXPECT_EQ(testing::read_file(dir.file("a.wsq")),
              encode(gray, 96, 88, 24, 300, 1.5f, "scanner 7"));
}

TEST(WsqFile, MeanRoundsDown) {
    TempDir dir;
    Record r(96, 96, 24, 0);
    std::vector<uint8_t> gray(96 * 96);
    for (uint32_t i = 0; i < 96 * 96; ++i) {
        const bool odd = (i / 96 + i % 96) % 2;
        const uint8_t px[3] = {static_cast<uint8_t>(odd ? 10 : 255),
                               static_cast<uint8_t>(odd ? 20 : 255),
                               static_cast<uint8_t>(odd ? 31 : 254)};
        std::memcpy(r.img.pixels + 3 * i, px, 3);
        gray[(95 - i / 96) * 96 + i % 96] = odd ? 20 : 254;
    }
    WsqFileOptions options{8, 0.75, 500, nullptr};
    ASSERT_EQ(WriteWsqFile(dir.file("m.wsq").c_str(), r.img, &options), BMG_OK);
    EXPECT_EQ(testing::read_file(dir.file("m.wsq")), encode(gray, 96, 96, 24, 500, 0.75f, nullptr));
}

TEST(WsqFile, EightBitImagesAreEncodedFromTheirIndexBytes) {
    TempDir dir;
    Record r(100, 90, 8, 1);
    const std::vector<uint8_t> gray = testing::ridge_pattern(100, 90, 3);
    for (uint32_t y = 0; y < 90; ++y)
        std::memcpy(r.img.pixels + (89 - y) * r.img.rowBytes, &gray[y * 100], 100);
    for (uint32_t i = 0; i < 256 * 4; ++i) r.img.palette[i] = static_cast<uint8_t>(255 - i / 4);
    WsqFileOptions options{8, 0.75, 500, nullptr};
    ASSERT_EQ(WriteWsqFile(dir.file("g.wsq").c_str(), r.img, &options), BMG_OK);
    EXPECT_EQ(testing::read_file(dir.file("g.wsq")), encode(gray, 100, 90, 8, 500, 0.75f, nullptr));
}

TEST(WsqFile, ReaderGivesUpsideDownGrayTriplesAndTheLastComment) {
    TempDir dir;
    const std::vector<uint8_t> gray = testing::ridge_pattern(83, 90, 11);
    testing::write_file(dir.file("r.wsq"), encode(gray, 83, 90, 8, 333, 2.25f, "free text"));
    Record r(0);
    r.img.dibLayout = 1;  // the reader lays its rows out itself
    Options options;
    options.o.comment = static_cast<char*>(std::malloc(4));
    std::strcpy(options.o.comment, "old");
    ASSERT_EQ(ReadWsqFile(dir.file("r.wsq").c_str(), &r.img, &options.o), 0);
    EXPECT_EQ(r.img.bitsPerPixel, 24);
    EXPECT_EQ(r.img.dibLayout, 0);
    EXPECT_EQ(r.img.rowBytes, 249u);
    EXPECT_EQ(r.img.palette, nullptr);
    EXPECT_EQ(options.o.ppi, 333);
    EXPECT_EQ(options.o.depth, 8);
    ASSERT_NE(options.o.comment, nullptr);
    EXPECT_STREQ(options.o.comment, "free text");

    // The decoder's own output, flipped and widened.
    unsigned char* decoded = nullptr;
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    const std::vector<uint8_t> stream = testing::read_file(dir.file("r.wsq"));
    ASSERT_EQ(wsq::wsq_decode_mem(&decoded, &w, &h, &d, &ppi, &lossy, stream.data(),
                                  static_cast<int>(stream.size())),
              0);
    long mismatches = 0, error = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 83; ++x) {
            const uint8_t* p = r.img.pixels + (89 - y) * 249 + 3 * x;
            mismatches += p[0] != decoded[y * 83 + x] || p[1] != p[0] || p[2] != p[0];
            error += std::abs(int(p[0]) - int(gray[y * 83 + x]));
        }
    std::free(decoded);
    EXPECT_EQ(mismatches, 0);
    EXPECT_LT(error / (83 * 90), 12);  // lossy, but the same picture
}

TEST(WsqFile, WithoutFreeTextTheNistCommentIsTheLast) {
    TempDir dir;
    testing::write_file(dir.file("n.wsq"),
                        encode(testing::ridge_pattern(96, 96, 1), 96, 96, 8, 500, 0.75f, nullptr));
    Record r(0);
    Options options;
    ASSERT_EQ(ReadWsqFile(dir.file("n.wsq").c_str(), &r.img, &options.o), 0);
    ASSERT_NE(options.o.comment, nullptr);
    EXPECT_EQ(std::string(options.o.comment).rfind("NIST_COM", 0), 0u);
}

TEST(WsqFile, EncoderRefusalWritesNoFile) {
    TempDir dir;
    Record r(3, 2, 24, 0);
    WsqFileOptions options{8, 0.75, 500, nullptr};
    wsq::DiagCapture quiet;
    EXPECT_NE(WriteWsqFile(dir.file("t.wsq").c_str(), r.img, &options), BMG_OK);
    EXPECT_FALSE(std::filesystem::exists(dir.file("t.wsq")));
}

TEST(WsqFile, NonWsqFileBuildsNothingAndKeepsTheOptions) {
    TempDir dir;
    testing::write_file(dir.file("x.wsq"), std::vector<uint8_t>(200, 0x42));
    Record r(0);
    Options options;
    char comment[] = "keep";
    options.o.comment = comment;
    wsq::DiagCapture quiet;
    EXPECT_NE(ReadWsqFile(dir.file("x.wsq").c_str(), &r.img, &options.o), 0);
    EXPECT_EQ(r.img.pixels, nullptr);
    EXPECT_EQ(options.o.depth, 24);
    EXPECT_EQ(options.o.ppi, 500);
    EXPECT_EQ(options.o.comment, comment);
    options.o.comment = nullptr;
}

TEST(WsqFile, TruncatedStreamsFailWithoutHarm) {
    TempDir dir;
    const std::vector<uint8_t> whole =
        encode(testing::ridge_pattern(90, 90, 5), 90, 90, 8, 500, 0.75f, "c");
    wsq::DiagCapture quiet;
    for (size_t length = 0; length < whole.size(); length += 7) {
        testing::write_file(dir.file("cut.wsq"),
                            std::vector<uint8_t>(whole.begin(), whole.begin() + length));
        Record r(0);
        Options options;
        const int code = ReadWsqFile(dir.file("cut.wsq").c_str(), &r.img, &options.o);
        if (code != 0) {
            EXPECT_EQ(r.img.pixels, nullptr) << length;
        }
    }
}

TEST(WsqFile, ReadFailuresShowTheirMessages) {
    TempDir dir;
    testing::RecordingPresenter recorder;
    wsq::DiagCapture capture;
    Record r(0);
    Options options;
    EXPECT_NE(ReadWsqFile(dir.file("missing.wsq").c_str(), &r.img, &options.o), 0);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(capture.text(), "");
    // A directory opens for its length but reads nothing.
    std::filesystem::create_directory(dir.file("folder.wsq"));
    EXPECT_NE(ReadWsqFile(dir.file("folder.wsq").c_str(), &r.img, &options.o), 0);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].caption, "Quorvel Error");
    EXPECT_EQ(recorder.messages[0].text, "Error reading input file");
    EXPECT_EQ(recorder.messages[0].type, unsigned{MB_OK | MB_ICONERROR});
    EXPECT_EQ(capture.text().rfind("ERORR : main : read_raw_from_filesize : 0 of ", 0), 0u)
        << capture.text();
}

// A record whose pixels are not all there is refused before anything is encoded or written.
TEST(WsqFile, WriterRefusesRecordsWithoutTheirPixels) {
    TempDir dir;
    Record gray(96, 96, 8, 1);
    WsqFileOptions options{8, 0.75, 500, nullptr};
    const struct {
        const char* what;
        void (*spoil)(BMGImage&);
    } spoilt[] = {
        {"no pixels", [](BMGImage& b) { b.pixels = nullptr; }},
        {"no width", [](BMGImage& b) { b.width = 0; }},
        {"no height", [](BMGImage& b) { b.height = 0; }},
        {"rows shorter than the width", [](BMGImage& b) { b.rowBytes = b.width - 1; }},
        {"a width past 32 bits", [](BMGImage& b) { b.width = 0x80000000u; }},
    };
    for (const auto& c : spoilt) {
        BMGImage bad = gray.img;
        c.spoil(bad);
        EXPECT_EQ(WriteWsqFile(dir.file("s.wsq").c_str(), bad, &options), BMG_ERR_IMAGE_POINTER)
            << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir.file("s.wsq"))) << c.what;
    }
}

TEST(WsqFile, WriterRefusesOtherDepthsAndReportsFileErrorsByMessage) {
    TempDir dir;
    testing::RecordingPresenter recorder;
    wsq::DiagCapture capture;
    Record rgba(16, 16, 32, 1);
    WsqFileOptions options{8, 0.75, 500, nullptr};
    SetLastImageError(BMG_ERR_OPEN_FILE);
    EXPECT_EQ(WriteWsqFile(dir.file("c.wsq").c_str(), rgba.img, &options), BMG_ERR_BITS_PER_PIXEL);
    EXPECT_EQ(capture.text(), "ERROR: read_raw_or_ihead : image depth = 32 not 8 or 24\n");
    EXPECT_EQ(GetLastImageError(), BMG_OK);
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.wsq")));

    Record gray(96, 96, 8, 1);
    capture.clear();
    const std::string nowhere = dir.file("no/such") + "/f.wsq";
    // Failures are reported by message and returned, so no caller takes the file as written.
    EXPECT_EQ(WriteWsqFile(nowhere.c_str(), gray.img, &options), BMG_ERR_WRITE_FILE);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, "Error opening file for writing");
    EXPECT_EQ(recorder.messages[0].caption, "Quorvel Error");
    EXPECT_NE(capture.text().find("ERROR: write_raw_from_memsize : fopen : " + nowhere + "\n"),
              std::string::npos);

    capture.clear();
    EXPECT_EQ(WriteWsqFile("/dev/full", gray.img, &options), BMG_ERR_WRITE_FILE);
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[1].text, "Error writing output file");
    EXPECT_NE(capture.text().find("ERROR: write_raw_from_memsize : fwrite : only 0 of "),
              std::string::npos);
}

TEST(WsqFile, MissingOptionsUseTheLoadDefaults) {
    TempDir dir;
    Record gray(96, 96, 8, 1);
    ASSERT_EQ(WriteWsqFile(dir.file("d.wsq").c_str(), gray.img, nullptr), BMG_OK);
    Record back(0);
    EXPECT_EQ(ReadWsqFile(dir.file("d.wsq").c_str(), &back.img, nullptr), 0);
    EXPECT_EQ(back.img.width, 96u);
}

// A host may keep the comment pointer of every load; the library keeps one copy per text.
TEST(WsqFile, CommentPointersOutliveLaterLoadsAndRepeatedLoadsDoNotGrow) {
    TempDir dir;
    const std::vector<uint8_t> gray = testing::ridge_pattern(81, 81, 4);
    const std::string texts[] = {"first scan", "a second, longer comment text", "3"};
    std::vector<std::string> names;
    for (const std::string& text : texts) {
        names.push_back(dir.file(std::to_string(names.size()) + ".wsq"));
        testing::write_file(names.back(), encode(gray, 81, 81, 8, 500, 0.75f, text.c_str()));
    }
    std::vector<const char*> kept;
    size_t in_use_after_first_rounds = 0;
    for (int round = 0; round < 1000; ++round) {
        for (size_t i = 0; i < names.size(); ++i) {
            ASSERT_NE(CreateBMPFromFile(names[i].data()), nullptr);
            if (round == 0) kept.push_back(ReadWSQ_comment());
            ASSERT_EQ(ReadWSQ_comment(), kept[i]) << "one copy per distinct text";
        }
        if (round == 9) in_use_after_first_rounds = mallinfo2().uordblks;
    }
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_STREQ(kept[i], texts[i].c_str());
    EXPECT_LT(mallinfo2().uordblks, in_use_after_first_rounds + 64 * 1024);
}

TEST(RawFiles, WholeFilesRoundTrip) {
    TempDir dir;
    const std::vector<uint8_t> bytes = testing::ridge_pattern(10, 10, 2);
    ASSERT_EQ(write_raw_from_memsize(dir.file("raw").c_str(), bytes.data(), 100), 0);
    unsigned char* data = nullptr;
    int length = 0;
    ASSERT_EQ(read_raw_from_filesize(dir.file("raw").c_str(), &data, &length), 0);
    EXPECT_EQ(std::vector<uint8_t>(data, data + length), bytes);
    std::free(data);
    EXPECT_EQ(read_raw_from_filesize(dir.file("none").c_str(), &data, &length), -1);
    wsq::DiagCapture quiet;
    EXPECT_EQ(write_raw_from_memsize(dir.file("none/x").c_str(), bytes.data(), 100), -2);
}

}  // namespace
}  // namespace quorvel::raster
