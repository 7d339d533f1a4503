// The WSQ loader in gdk-pixbuf, found through a loader cache made from the build tree (as
// GDK_PIXBUF_MODULE_FILE names it for programs): gdk_pixbuf_new_from_file and a GdkPixbufLoader
// fed in pieces give the decoder's pixels, resolution and comment; a damaged stream is a GError
// with the codec's reason.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include <quorvel/quorvel.hpp>

#include "support/ridge_pattern.h"
#include "support/test_support.h"

namespace {

using quorvel::testing::TempDir;

struct Loaded {
    GdkPixbuf* pixbuf = nullptr;
    std::string error;
    ~Loaded() {
        if (pixbuf != nullptr) g_object_unref(pixbuf);
    }
};

void from_file(const std::string& path, Loaded& out) {
    GError* error = nullptr;
    out.pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (error != nullptr) out.error = error->message, g_error_free(error);
}

// As a viewer feeds it: 1000 bytes at a time, the type left to the loader to find.
void from_loader(const std::string& path, Loaded& out) {
    const std::vector<uint8_t> bytes = quorvel::testing::read_file(path);
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GError* error = nullptr;
    bool ok = true;
    for (size_t at = 0; ok && at < bytes.size(); at += 1000)
        ok = gdk_pixbuf_loader_write(loader, bytes.data() + at,
                                     std::min<size_t>(1000, bytes.size() - at), &error);
    ok = gdk_pixbuf_loader_close(loader, ok ? &error : nullptr) && ok;
    if (ok && gdk_pixbuf_loader_get_pixbuf(loader) != nullptr)
        out.pixbuf = GDK_PIXBUF(g_object_ref(gdk_pixbuf_loader_get_pixbuf(loader)));
    if (error != nullptr) out.error = error->message, g_error_free(error);
    g_object_unref(loader);
}

using LoadFunction = void (*)(const std::string&, Loaded&);

class GdkPixbufWsq : public ::testing::TestWithParam<LoadFunction> {};

TEST_P(GdkPixbufWsq, GivesTheDecodersPixelsResolutionAndComment) {
    TempDir dir;
    const std::vector<uint8_t> stream = quorvel::encode(
        quorvel::testing::ridge_pattern(140, 110, 5), 140, 110, {1.5, 1000, "left thumb"});
    quorvel::testing::write_file(dir.file("print.wsq"), stream);
    Loaded loaded;
    GetParam()(dir.file("print.wsq"), loaded);
    ASSERT_NE(loaded.pixbuf, nullptr) << loaded.error;
    ASSERT_EQ(gdk_pixbuf_get_width(loaded.pixbuf), 140);
    ASSERT_EQ(gdk_pixbuf_get_height(loaded.pixbuf), 110);
    EXPECT_STREQ(gdk_pixbuf_get_option(loaded.pixbuf, "x-dpi"), "1000");
    EXPECT_STREQ(gdk_pixbuf_get_option(loaded.pixbuf, "comment"), "left thumb");
    const quorvel::Image decoded = quorvel::decode(stream);
    const guchar* pixels = gdk_pixbuf_read_pixels(loaded.pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(loaded.pixbuf);
    int differing = 0;
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 140; ++x)
            for (int c = 0; c < 3; ++c)
                differing += pixels[y * stride + x * 3 + c] != decoded.pixels[y * 140 + x];
    EXPECT_EQ(differing, 0);
}

TEST_P(GdkPixbufWsq, ADamagedStreamIsAnErrorWithTheCodecsReason) {
    TempDir dir;
    std::vector<uint8_t> stream =
        quorvel::encode(quorvel::testing::ridge_pattern(100, 100, 1), 100, 100);
    stream.resize(stream.size() / 2);
    quorvel::testing::write_file(dir.file("cut.wsq"), stream);
    Loaded loaded;
    GetParam()(dir.file("cut.wsq"), loaded);
    EXPECT_EQ(loaded.pixbuf, nullptr);
    EXPECT_NE(loaded.error.find("WSQ: decode: ERROR"), std::string::npos) << loaded.error;
}

INSTANTIATE_TEST_SUITE_P(Paths, GdkPixbufWsq, ::testing::Values(&from_file, &from_loader),
                         [](const auto& info) {
                             return info.param == &from_file ? "File" : "Loader";
                         });

}  // namespace

// gdk-pixbuf reads the cache named by GDK_PIXBUF_MODULE_FILE when it first loads an image, and
// picks a loader by the type shared-mime-info gives the bytes: a MIME database with our type
// goes first in XDG_DATA_DIRS.
int main(int argc, char** argv) {
    TempDir dir;
    const std::string cache = dir.file("loaders.cache"), mime = dir.file("share/mime");
    std::filesystem::create_directories(mime + "/packages");
    std::filesystem::copy_file(QUORVEL_MIME_XML, mime + "/packages/quorvel.xml");
    if (quorvel::testing::run("'" + std::string(QUORVEL_QUERY_LOADERS) + "' '" +
                              QUORVEL_PIXBUF_LOADER + "' > '" + cache +
                              "' && update-mime-database '" + mime + "'") != 0)
        return 1;
    setenv("GDK_PIXBUF_MODULE_FILE", cache.c_str(), 1);
    setenv("XDG_DATA_HOME", dir.file("home").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir.file("share") + ":/usr/local/share:/usr/share").c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
