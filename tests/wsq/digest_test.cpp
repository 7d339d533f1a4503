// The codec's output, pinned: 64-bit FNV-1a digests of the stream and of its decode for the
// bundled samples, synthetic prints of awkward sizes, noise and a flat image at several
// bitrates, recorded from the codec before any speed work. Every optimisation must leave
// them all unchanged. The real prints of ../shared are an extra check where present.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "wsq/diag.h"
#include "wsq/simd.h"
#include "wsq/wsq.h"
#include "support/simd_targets.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<uint8_t>;

using Gray = testing::GrayImage;

uint64_t fnv1a(const Bytes& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

// The stream (empty when the encode fails) and its decode (empty when that fails).
struct Coded {
    Bytes stream, pixels;
};

Coded code(const Gray& g, float rate) {
    DiagCapture quiet;
    Coded c;
    unsigned char* data = nullptr;
    int len = 0;
    if (wsq_encode_1(&data, &len, rate, g.px.data(), g.w, g.h, 8, 500, nullptr) != 0) return c;
    c.stream.assign(data, data + len);
    std::free(data);
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    if (wsq_decode_mem(&data, &w, &h, &d, &ppi, &lossy, c.stream.data(), len) != 0) return c;
    c.pixels.assign(data, data + static_cast<size_t>(w) * h);
    std::free(data);
    return c;
}

Gray noise(int w, int h) {
    Gray g{w, h, Bytes(static_cast<size_t>(w) * h)};
    uint32_t s = 12345;
    for (uint8_t& p : g.px) p = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
    return g;
}

Gray ridges(int w, int h) { return testing::ridge_image(w, h, w ^ h); }

Gray pgm(const std::filesystem::path& file) {
    const quorvel::testing::Picture pic = quorvel::testing::read_pnm(file.string());
    return Gray{pic.width, pic.height, pic.samples};
}

std::filesystem::path repo_dir() {
    return std::filesystem::path(QUORVEL_TEST_DATA).parent_path().parent_path();
}

Gray image_named(const std::string& name) {
    int w = 0, h = 0;
    if (std::sscanf(name.c_str(), "ridges %dx%d", &w, &h) == 2) return ridges(w, h);
    if (std::sscanf(name.c_str(), "noise %dx%d", &w, &h) == 2) return noise(w, h);
    if (name == "flat") return Gray{120, 100, Bytes(120 * 100, 77)};
    if (name.rfind("samples/", 0) == 0) return pgm(repo_dir() / name);
    return pgm(repo_dir().parent_path() / "shared/data/fingerprints" / name);
}

struct Pinned {
    const char* image;
    float rate;
    uint64_t stream;
    uint64_t pixels;
};

// Prints a failing row in the table's own syntax, so a deliberate format change can be
// re-recorded by pasting.
void expect_pinned(const Pinned& p) {
    const Coded c = code(image_named(p.image), p.rate);
    ASSERT_FALSE(c.stream.empty()) << p.image << " @ " << p.rate;
    ASSERT_FALSE(c.pixels.empty()) << p.image << " @ " << p.rate;
    char row[160];
    std::snprintf(row, sizeof row, "{\"%s\", %.2ff, 0x%016llxull, 0x%016llxull},", p.image, p.rate,
                  static_cast<unsigned long long>(fnv1a(c.stream)),
                  static_cast<unsigned long long>(fnv1a(c.pixels)));
    EXPECT_EQ(fnv1a(c.stream), p.stream) << row;
    EXPECT_EQ(fnv1a(c.pixels), p.pixels) << row;
}

const Pinned kBundled[] = {
    {"samples/ridges_300x300.pgm", 0.30f, 0x341d3643a57abc51ull, 0xde4c047d218237e6ull},
    {"samples/ridges_300x300.pgm", 0.75f, 0x252ebb8f050ef99dull, 0x82a0995391bf0d7cull},
    {"samples/ridges_300x300.pgm", 2.25f, 0xfcaa5971abfdcd54ull, 0x06c9bb126c62c7d1ull},
    {"samples/ridges_300x300.pgm", 4.00f, 0x8eda215aca80bf66ull, 0xb9335f70532a7895ull},
    {"samples/ridges_545x622.pgm", 0.30f, 0xecf4d3fe8c0e48d0ull, 0x2dcfbf15240ea617ull},
    {"samples/ridges_545x622.pgm", 0.75f, 0x8440785c5e7cf53cull, 0x86e2b2d3443a67f7ull},
    {"samples/ridges_545x622.pgm", 2.25f, 0x50726ea5d24c3c96ull, 0x1b89efe1ef623544ull},
    {"samples/ridges_545x622.pgm", 4.00f, 0xfbda1b29d767fe6eull, 0x155bb4678d1263d1ull},
    {"samples/ridges_800x750.pgm", 0.30f, 0x6ffd85d197b5f4c1ull, 0xf9b16626e2c67958ull},
    {"samples/ridges_800x750.pgm", 0.75f, 0x2524bee73b6a6320ull, 0x28a1f135eaceccf1ull},
    {"samples/ridges_800x750.pgm", 2.25f, 0x7a58a28c1266b0acull, 0x99ecd5e2ebd10991ull},
    {"samples/ridges_800x750.pgm", 4.00f, 0x679cfa172cff3b9full, 0xbba4d3080f3f374aull},
    {"ridges 81x81", 0.75f, 0xbdaaab098ba60cbdull, 0xad7beaa7bcbbd99eull},
    {"ridges 81x81", 2.25f, 0x312ea52763d1a02dull, 0x3f9006607608937cull},
    {"ridges 82x97", 0.75f, 0x9a0d833de19a91f5ull, 0xf154a361784faf5bull},
    {"ridges 82x97", 2.25f, 0xf5436ca03e4d0951ull, 0xdd622c12f3359694ull},
    {"ridges 123x456", 0.75f, 0xffd519c897fee6a1ull, 0x1e0b4bb796e80bc8ull},
    {"ridges 123x456", 2.25f, 0x29bf52b1ec9978fbull, 0x88e68afbf0b32cfeull},
    {"ridges 457x129", 0.75f, 0xff9b0d9064ae912dull, 0xe9b2fb55043a98c7ull},
    {"ridges 457x129", 2.25f, 0x6fa9f7ba8db4a67cull, 0x9f115c6f2fa18666ull},
    {"ridges 1001x643", 0.75f, 0x1c1ea298d34b80ffull, 0x32c31bc68094193cull},
    {"ridges 1001x643", 2.25f, 0xf8568a7d93c8ec50ull, 0xf223e3cadafe3e1eull},
    {"ridges 1600x1500", 0.75f, 0xb37ba9e2bbd5ddc4ull, 0xd49bfb47058dbcf5ull},
    {"ridges 1600x1500", 2.25f, 0x5e39966aff0950feull, 0x153c7849e6885c9aull},
    {"noise 160x120", 0.75f, 0xeee30f52d90782aeull, 0xbe71193c3eeb9fdfull},
    {"noise 160x120", 2.25f, 0x5f1980e9c3989864ull, 0xcae006e9a5ac15e9ull},
    {"noise 160x120", 3.50f, 0xe3846eb7c923a287ull, 0x43afc5292fefc1dcull},
    {"flat", 0.75f, 0xb486d7eb8e45bf8bull, 0x670dc966b0b63085ull},
};

const Pinned kRealPrints[] = {
    {"derived_tile_800x750.pgm", 0.75f, 0x16308b96f6d7e411ull, 0x453f3dae2dd524beull},
    {"derived_tile_800x750.pgm", 2.25f, 0xd6638fbb9b619720ull, 0xa4bc117f39622f8cull},
    {"fvc2002_db1_101_2.pgm", 0.75f, 0xcdfba539f3c7e9adull, 0xab3abe1a20804f9bull},
    {"fvc2002_db1_101_2.pgm", 2.25f, 0xa3cb3cbb7501fb0cull, 0xf07948c11aa0aa5bull},
    {"fvc2002_db1_102_1.pgm", 0.75f, 0xc87368c498bc70f2ull, 0x22dececd0dfa449bull},
    {"fvc2002_db1_102_1.pgm", 2.25f, 0xc0803b76556b1e1dull, 0x76bac6f9daab20b4ull},
    {"fvc2002_db2_101_5.pgm", 0.75f, 0x7698687220ab342aull, 0xb87d795a6ff8f51dull},
    {"fvc2002_db2_101_5.pgm", 2.25f, 0x78dbac3d2a180268ull, 0xf0f69cdabf600efdull},
    {"fvc2002_db2_106_1.pgm", 0.75f, 0xfed7f2b2258b2a22ull, 0x9bcb5122ca409fedull},
    {"fvc2002_db2_106_1.pgm", 2.25f, 0x74388b1beada3886ull, 0xfe959d8825ad5cc1ull},
    {"fvc2002_db2_109_1.pgm", 0.75f, 0x642bd7fbe4f8e90bull, 0x3fb2034dfa3fddf5ull},
    {"fvc2002_db2_109_1.pgm", 2.25f, 0x54e552d9e691746eull, 0xd99397f0651a88d8ull},
    {"fvc2002_db3_103_5.pgm", 0.75f, 0x8132f42c7b5052d6ull, 0x9578fb832d9185adull},
    {"fvc2002_db3_103_5.pgm", 2.25f, 0xcae1e51860d2fc69ull, 0x4d86562a01c58284ull},
    {"fvc2002_db3_106_5.pgm", 0.75f, 0xe3cd0e7fdcba8e2eull, 0x2386455d23eaa764ull},
    {"fvc2002_db3_106_5.pgm", 2.25f, 0x35e27e9b609e4984ull, 0x3890bf557b6bce46ull},
    {"fvc2002_db4_101_2.pgm", 0.75f, 0xd9d54a14b13e3839ull, 0xc80872e9f99aa790ull},
    {"fvc2002_db4_101_2.pgm", 2.25f, 0x6be528f541b09d22ull, 0xef4c93a2b2943dfdull},
    {"fvc2002_db4_104_2.pgm", 0.75f, 0xe1937875c9f46674ull, 0x4d597654178cc7edull},
    {"fvc2002_db4_104_2.pgm", 2.25f, 0xee3ca6ac2f73aadcull, 0xabcd4b0e6d939a0full},
};

// Images of 300 x 300 pixels or fewer: enough for every vector width and tail on the slower
// targets.
bool small(const Pinned& p) {
    for (const char* large : {"545x622", "800x750", "1001x643", "1600x1500"})
        if (std::string(p.image).find(large) != std::string::npos) return false;
    return true;
}

// Every image with the best target's kernels, the small ones with those of each other SIMD
// target, as processors with fewer extensions choose them.
TEST(Digests, BundledAndSyntheticImagesCodeAsRecordedOnEverySimdTarget) {
    bool best = true;
    testing::for_each_simd_target([&best](const char* target) {
        SCOPED_TRACE(target);
        for (const Pinned& p : kBundled)
            if (best || small(p)) expect_pinned(p);
        best = false;
    });
}

// The scalar kernels (processors without fused multiply-add) give the same bits.
TEST(Digests, ScalarKernelsCodeAsRecorded) {
    struct Restore {
        ~Restore() { set_wsq_simd(true); }
    } restore;
    set_wsq_simd(false);
    for (const Pinned& p : kBundled)
        if (std::string(p.image).find("1600") == std::string::npos) expect_pinned(p);
}

TEST(Digests, RealPrintsCodeAsRecordedWhenPresent) {
    if (!std::filesystem::is_directory(repo_dir().parent_path() / "shared/data/fingerprints"))
        GTEST_SKIP() << "no real fingerprints here";
    for (const Pinned& p : kRealPrints) expect_pinned(p);
}

}  // namespace
}  // namespace quorvel::wsq
