// The shared library as a host sees it: every export by both of its names, the data symbols,
// and a stream round trip through resolved pointers (symbols_test.cpp checks what is hidden).
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <quorvel/wingdi.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "support/test_support.h"

namespace {

using EncodeFn = int (*)(unsigned char*, int, int, double, int, char*, unsigned char**, int*);
using DecodeFn = int (*)(unsigned char*, int, unsigned char**, int*, int*, int*, char**);

const char* const kFunctions[] = {
    "WSQ_encode_stream",
    "WSQ_decode_stream",
    "WriteWSQ_bitrate",
    "ReadWSQ_bitrate",
    "WriteWSQ_ppi",
    "ReadWSQ_ppi",
    "WriteWSQ_comment",
    "ReadWSQ_comment",
    "WriteTIFFcompression",
    "ReadTIFFcompression",
    "WriteTIFFpredictor",
    "ReadTIFFpredictor",
    "SetShowFilePropertiesDialog",
    "CreateBMPFromFile",
    "SaveBMPToFile",
};

class SharedLibrary : public ::testing::Test {
protected:
    // Left mapped after dlclose, so the leak checker still reaches its start-up objects.
    static void SetUpTestSuite() {
        handle_ = dlopen(QUORVEL_SHARED_LIB, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    }
    static void TearDownTestSuite() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    void SetUp() override { ASSERT_NE(handle_, nullptr) << dlerror(); }
    template <class T>
    static T resolve(const char* name) {
        return reinterpret_cast<T>(dlsym(handle_, name));
    }
    static void* handle_;
};
void* SharedLibrary::handle_ = nullptr;

TEST_F(SharedLibrary, EveryFunctionResolvesByBothNamesToTheSameCode) {
    for (const char* name : kFunctions) {
        void* plain = dlsym(handle_, name);
        void* underscored = dlsym(handle_, (std::string("_") + name).c_str());
        EXPECT_NE(plain, nullptr) << name;
        EXPECT_EQ(plain, underscored) << name;
    }
}

TEST_F(SharedLibrary, DataSymbolsReadAsNull) {
    for (const char* name : {"TiffDialog", "WSQDialog", "FileFormatConverterForm"}) {
        auto* slot = static_cast<void**>(dlsym(handle_, name));
        ASSERT_NE(slot, nullptr) << name;
        EXPECT_EQ(*slot, nullptr) << name;
    }
}

// The shared library starts itself when loaded: a host that calls only the exports can load a
// BMP (a toolkit reader, registered at start-up) and save it as PNG.
TEST_F(SharedLibrary, LoadsAndSavesThroughTheUnderscoredNames) {
    if (!quorvel::testing::have_tool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    auto create = resolve<HBITMAP (*)(char*)>("_CreateBMPFromFile");
    auto save = resolve<int (*)(HBITMAP, char*, int)>("_SaveBMPToFile");
    auto set_show = resolve<void (*)(int)>("_SetShowFilePropertiesDialog");
    ASSERT_TRUE(create && save && set_show);
    quorvel::testing::TempDir dir;
    ASSERT_EQ(quorvel::testing::run("convert -size 12x7 gradient:red-blue BMP3:'" +
                                    dir.file("in.bmp") + "'"),
              0);
    std::string in = dir.file("in.bmp"), out = dir.file("out.xyz");
    HBITMAP bitmap = create(in.data());
    ASSERT_NE(bitmap, nullptr);
    set_show(0);
    EXPECT_EQ(save(bitmap, out.data(), 4), 1);
    EXPECT_EQ(
        quorvel::testing::run_output("identify -format '%w %h' '" + dir.file("out.png") + "'"),
        "12 7");
}

TEST_F(SharedLibrary, SettingsRoundTripThroughTheUnderscoredNames) {
    auto write_predictor = resolve<void (*)(int)>("_WriteTIFFpredictor");
    auto read_predictor = resolve<int (*)()>("_ReadTIFFpredictor");
    auto write_compression = resolve<void (*)(int)>("_WriteTIFFcompression");
    auto read_compression = resolve<int (*)()>("_ReadTIFFcompression");
    auto read_comment = resolve<char* (*)()>("_ReadWSQ_comment");
    auto write_comment = resolve<void (*)(char*)>("_WriteWSQ_comment");
    auto write_bitrate = resolve<void (*)(double)>("_WriteWSQ_bitrate");
    auto read_bitrate = resolve<double (*)()>("_ReadWSQ_bitrate");
    ASSERT_TRUE(write_predictor && read_predictor && write_compression && read_compression &&
                read_comment && write_comment && write_bitrate && read_bitrate);
    EXPECT_STREQ(read_comment(), "Vellacor");
    EXPECT_EQ(read_bitrate(), 0.75);
    write_predictor(65537);
    EXPECT_EQ(read_predictor(), 1);
    write_compression(1);
    EXPECT_EQ(read_compression(), 1);
    EXPECT_EQ(read_predictor(), 2);
    write_compression(5);
    EXPECT_EQ(read_compression(), 0);
    char text[] = "host text";
    write_comment(text);
    EXPECT_EQ(read_comment(), text);
    write_bitrate(2.25);
    EXPECT_EQ(read_bitrate(), 2.25);
}

TEST_F(SharedLibrary, StreamRoundTripThroughResolvedPointers) {
    auto encode = resolve<EncodeFn>("_WSQ_encode_stream");
    auto decode = resolve<DecodeFn>("WSQ_decode_stream");
    ASSERT_TRUE(encode && decode);
    const int width = 200, height = 160;
    std::vector<uint8_t> pixels = quorvel::testing::ridge_pattern(width, height, 3);
    // The library was just loaded: the first call of each function frees nothing, so a
    // variable holding garbage must survive it untouched until the result is stored.
    unsigned char* stream = reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(0x20));
    int length = 0;
    char comment_in[] = "through the export table";
    EXPECT_EQ(encode(pixels.data(), width, height, 0.75, 500, comment_in, &stream, &length), 1);
    ASSERT_NE(stream, nullptr);
    ASSERT_GT(length, 100);
    EXPECT_EQ(stream[0], 0xFF);
    EXPECT_EQ(stream[1], 0xA0);
    std::vector<uint8_t> first(stream, stream + length);
    // The second call frees the first buffer and gives identical bytes for identical input.
    EXPECT_EQ(encode(pixels.data(), width, height, 0.75, 500, comment_in, &stream, &length), 1);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(stream, stream + length), first);

    unsigned char* image = reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(0x30));
    int w = 0, h = 0, ppi = 0;
    char* comment = nullptr;
    EXPECT_EQ(decode(stream, length, &image, &w, &h, &ppi, &comment), 1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(ppi, 500);
    ASSERT_NE(comment, nullptr);
    EXPECT_STREQ(comment, comment_in);
    std::free(comment);  // the comment is the host's to keep or free
    // Later calls free the library's buffers themselves; end with failing calls that leave null.
    unsigned char junk[] = {0, 0};
    EXPECT_NE(decode(junk, 2, &image, &w, &h, &ppi, &comment), 1);
    EXPECT_EQ(image, nullptr);
    encode(pixels.data(), 0, 0, 0.75, 500, nullptr, &stream, &length);
    EXPECT_EQ(stream, nullptr);
}

}  // namespace
