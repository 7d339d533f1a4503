// Damaged and hostile files through the exports, all in one process: one good file per format,
// cut at every sixteenth of its length, its header fields overwritten with 0, 1, -1 and
// 0x7FFFFFFF, its chunk lengths pointed past the end; files kept under tests/data/hostile/;
// and crafted files whose loops or claimed sizes would make a careless reader hang or
// allocate without end. Each load must end soon with a null handle or a picture, the GDI
// objects alive at the end must be those alive at the start, and nothing may reach stderr.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <quorvel/quorvel.h>
#include <quorvel/quorvel.hpp>

#include "platform/gdi_objects.h"
#include "readers/formats/handmade_files.h"
#include "support/byte_fields.h"
#include "raster/bmg_image.h"
#include "raster/codecs/codecs.h"
#include "support/recording_presenter.h"
#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "wsq/diag.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Far above any honest load of these small files, even under the sanitizers: only a hang or
// a loop over a claimed size gets there.
constexpr auto kMaxLoadTime = std::chrono::seconds(5);

// Loads one damaged file through CreateBMPFromFile and checks that it ended soon.
class HostileLoads : public ::testing::Test {
protected:
    // True when the load gave a bitmap.
    bool load(const std::string& extension, const Bytes& bytes, const std::string& what) {
        const std::string path = dir_.file("case." + extension);
        write_file(path, bytes);
        const auto start = Clock::now();
        std::string name = path;
        const bool loaded = CreateBMPFromFile(name.data()) != nullptr;  // both are fine here
        EXPECT_LT(Clock::now() - start, kMaxLoadTime) << what;
        quiet_.clear();
        ++loads_;
        if (platform::live_object_count() > most_alive_) {
            most_alive_ = platform::live_object_count();
            last_rise_ = what;
        }
        return loaded;
    }

    using Goods = std::vector<std::pair<std::string, Bytes>>;

    // The library keeps what its last good loads made (its bitmap, the last picture-class
    // load's picture), so once the same good files are loaded again in the same order the
    // count must be what it was after the first time.
    void expect_no_gdi_leak(const Goods& goods) {
        for (const auto& [extension, good] : goods) load(extension, good, extension + " again");
        EXPECT_EQ(platform::live_object_count(), baseline_)
            << loads_ << " loads, the count last rose after " << last_rise_;
    }
    void set_baseline(const Goods& goods) {
        for (const auto& [extension, good] : goods)
            EXPECT_TRUE(load(extension, good, extension + " intact"))
                << "the good " << extension << " file";
        baseline_ = most_alive_ = platform::live_object_count();
    }

    TempDir dir_;
    RecordingPresenter presenter_;
    wsq::DiagCapture quiet_;
    size_t loads_ = 0;
    size_t baseline_ = 0;
    size_t most_alive_ = 0;
    std::string last_rise_;
};

struct GoodFile {
    const char* extension;
    const char* command;  // makes $OUT from the 24 x 20 colour picture in.ppm
};

// One file per reader, written by the tools.
const GoodFile kGoodFiles[] = {
    {"bmp", "convert in.ppm BMP3:$OUT"},
    {"png", "convert in.ppm $OUT"},
    {"gif", "convert in.ppm $OUT"},
    {"jpg", "convert in.ppm $OUT"},
    {"tga", "convert in.ppm -compress RLE $OUT"},
    {"pcx", "convert in.ppm $OUT"},
    {"psd", "convert in.ppm $OUT"},
    {"sgi", "convert in.ppm -compress RLE SGI:$OUT"},
    {"rgb", "convert in.ppm SGI:$OUT"},
    {"ppm", "cp in.ppm $OUT"},
    {"pgm", "convert in.ppm -colorspace Gray $OUT"},
    {"pbm", "convert in.ppm -monochrome $OUT"},
    {"tif", "convert in.ppm -compress LZW $OUT"},
    {"ico", "convert in.ppm $OUT"},
    {"pcd", "convert in.ppm $OUT"},
    {"pcc", "convert in.ppm PCX:$OUT"},
};

Bytes make_good(TempDir& dir, const GoodFile& good) {
    const std::string out = dir.file(std::string("good.") + good.extension);
    std::string command = good.command;
    if (command.empty()) return {};
    command.replace(command.find("$OUT"), 4, "'" + out + "'");
    if (run("cd '" + dir.path().string() + "' && " + command + " 2>/dev/null") != 0) return {};
    return read_file(out);
}

// The formats no tool here writes, built from their descriptions: the container's FLI and
// ILBM, the readers' RLA, CUT, Autodesk PIC, Paint Shop Pro, and EPS around a TIFF preview.
Bytes good_fli() {
    codec_test::Bytes body;  // one BRUN frame of 4 x 2: each line one run of four
    body.u8(1).u8(4).u8(7).u8(1).u8(4).u8(9);
    codec_test::Bytes file;
    file.le32(0).le16(0xAF11).le16(1).le16(4).le16(2).le16(8).fill(128 - 14, 0);
    file.le32(16 + 6 + uint32_t(body.size())).le16(0xF1FA).le16(1).fill(8, 0);
    file.le32(6 + uint32_t(body.size())).le16(15).raw(body.b);
    return file.b;
}

Bytes good_ilbm() {  // 4 x 2, 8 planes, each plane row one ByteRun1 literal of one word
    codec_test::Bytes bmhd, cmap, body, file;
    bmhd.be16(4).be16(2).be16(0).be16(0).u8(8).u8(0).u8(1).u8(0).be16(0).u8(10).u8(11).be16(4).be16(
        2);
    for (int i = 0; i < 256; ++i) cmap.u8(i).u8(255 - i).u8(i / 2);
    for (int row = 0; row < 2; ++row)
        for (int plane = 0; plane < 8; ++plane)
            body.u8(1).u8((row + plane) % 3 ? 0xA0 : 0x50).u8(0);
    file.text("FORM").be32(uint32_t(4 + 8 + 20 + 8 + cmap.size() + 8 + body.size())).text("ILBM");
    file.text("BMHD").be32(20).raw(bmhd.b).text("CMAP").be32(uint32_t(cmap.size())).raw(cmap.b);
    file.text("BODY").be32(uint32_t(body.size())).raw(body.b);
    return file.b;
}

Bytes good_psp() {
    const readers_test::PspBuilder p{4};
    const std::vector<uint8_t> plane = {10, 20, 30, 40, 50, 60};
    codec_test::Bytes channels, body;
    for (unsigned type : {1u, 2u, 3u}) channels.raw(p.channel(type, plane, plane.size()).b);
    body.raw(p.image(3, 2, readers_test::kNone, 24, false).b)
        .raw(p.layer_bank(3, 2, channels, 3).b);
    return p.file(body);
}

Bytes good_eps(TempDir& dir) {
    const Bytes tiff = make_good(dir, {"tif", "convert in.ppm -compress none $OUT"});
    if (tiff.empty()) return {};
    codec_test::Bytes out;
    out.u8(0xC5).u8(0xD0).u8(0xD3).u8(0xC6).le32(30).le32(0).le32(0).le32(0).le32(30).le32(
        uint32_t(tiff.size()));
    return out.le16(0xFFFF).raw(tiff).b;
}

std::vector<std::pair<std::string, Bytes>> handmade_goods(TempDir& dir) {
    return {{"cel", good_fli()},
            {"iff", good_ilbm()},
            {"rla", readers_test::rla_sample().b},
            {"cut", readers_test::cut_file().b},
            {"pic", readers_test::autodesk_sample().b},
            {"psp", good_psp()},
            {"eps", good_eps(dir)}};
}

Bytes good_wsq() { return quorvel::encode(ridge_pattern(96, 88, 3), 96, 88); }

void put32(Bytes& bytes, size_t at, uint32_t value, bool big_endian) {
    for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (big_endian ? 24 - 8 * i : 8 * i));
}

void put16(Bytes& bytes, size_t at, uint16_t value, bool big_endian) {
    for (int i = 0; i < 2 && at + i < bytes.size(); ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (big_endian ? 8 - 8 * i : 8 * i));
}

// Every sixteenth of the length, from nothing to all but the last sixteenth.
std::vector<Bytes> truncations(const Bytes& good) {
    std::vector<Bytes> out;
    for (size_t k = 0; k < 16; ++k)
        out.emplace_back(good.begin(), good.begin() + good.size() * k / 16);
    return out;
}

// Where a format's header fields lie: the first 64 bytes, but for Photo CD, whose reader
// reads only its two signatures and the rotation byte before the pixels (and decodes a full
// 768 x 512 picture for every damage elsewhere).
std::vector<size_t> header_fields(const std::string& extension) {
    if (extension == "pcd") return {0, 2, 4, 6, 2048, 2050, 3586};
    std::vector<size_t> at;
    for (size_t i = 0; i < 64; i += 2) at.push_back(i);
    return at;
}

// Each 16- and 32-bit field of the header, in either byte order, set to 0, 1, -1 and the
// largest positive value.
std::vector<Bytes> header_damage(const Bytes& good, const std::vector<size_t>& fields) {
    std::vector<Bytes> out;
    for (const size_t at : fields)
        for (const bool big : {false, true})
            for (const uint32_t value : {0u, 1u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
                if (at >= good.size()) continue;
                out.push_back(good);
                put32(out.back(), at, value, big);
                out.push_back(good);
                put16(out.back(), at, static_cast<uint16_t>(value == 0x7FFFFFFFu ? 0x7FFF : value),
                      big);
            }
    return out;
}

// PNG chunks whose length field points past the end of the file, or far beyond it.
std::vector<Bytes> png_chunk_damage(const Bytes& good) {
    std::vector<Bytes> out;
    for (size_t at = 8; at + 12 <= good.size();) {
        const uint32_t length =
            uint32_t{good[at]} << 24 | good[at + 1] << 16 | good[at + 2] << 8 | good[at + 3];
        for (const uint32_t bad : {uint32_t(good.size() - at - 7), 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            out.push_back(good);
            put32(out.back(), at, bad, true);
        }
        at += 12 + size_t{length};
    }
    return out;
}

TEST_F(HostileLoads, DamagedFilesOfEveryFormatLoadOrFailCleanly) {
    if (!have_tool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    Picture picture{24, 20, 3, {}};
    for (int i = 0; i < 24 * 20; ++i)
        picture.samples.insert(picture.samples.end(),
                               {uint8_t(i * 7), uint8_t(i * 3), uint8_t(255 - i)});
    write_pnm(dir_.file("in.ppm"), picture);
    Goods goods = {{"wsq", good_wsq()}};
    for (const GoodFile& good : kGoodFiles)
        if (Bytes bytes = make_good(dir_, good); !bytes.empty())
            goods.emplace_back(good.extension, bytes);
    for (auto& handmade : handmade_goods(dir_)) goods.push_back(std::move(handmade));
    ASSERT_GE(goods.size(), 24u);
    set_baseline(goods);
    // Messages reach the presenter and the codec's sink; libpng, libtiff and libjpeg print nothing.
    ::testing::internal::CaptureStderr();
    for (const auto& [extension, good] : goods) {
        std::vector<Bytes> cases = truncations(good);
        for (Bytes& damaged : header_damage(good, header_fields(extension)))
            cases.push_back(std::move(damaged));
        if (extension == "png")
            for (Bytes& damaged : png_chunk_damage(good)) cases.push_back(std::move(damaged));
        for (size_t i = 0; i < cases.size(); ++i)
            load(extension, cases[i], extension + " case " + std::to_string(i));
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(loads_, 4000u);
    expect_no_gdi_leak(goods);
}

Bytes tiff_with_ifd_loop();

// A file of tests/data/hostile/ is loaded under its own extension. A kept picture-class file
// that fails drops the picture that class kept from earlier loads; the readable TIFF among the
// good files makes it keep one again.
TEST_F(HostileLoads, EveryKeptFinderInputLoadsOrFailsCleanly) {
    const fs::path kept = fs::path(QUORVEL_TEST_DATA) / "hostile";
    if (!fs::is_directory(kept)) GTEST_SKIP() << "no kept inputs";
    const Goods goods = {{"wsq", good_wsq()}, {"tif", tiff_with_ifd_loop()}};
    set_baseline(goods);
    for (const auto& entry : fs::directory_iterator(kept)) {
        const std::string extension = entry.path().extension().string().substr(1);
        load(extension, read_file(entry.path().string()), entry.path().filename().string());
    }
    expect_no_gdi_leak(goods);
}

using namespace byte_fields;

// A little-endian 4 x 4 gray TIFF whose one IFD names itself as the next.
Bytes tiff_with_ifd_loop() {
    Bytes out = {'I', 'I', 42, 0};
    append(out, le32(8));
    const uint16_t entries[][3] = {{256, 3, 4}, {257, 3, 4}, {258, 3, 8}, {259, 3, 1},
                                   {262, 3, 1}, {273, 4, 0}, {278, 3, 4}, {279, 4, 16}};
    append(out, le16(8));
    const uint32_t pixels_at = 8 + 2 + 8 * 12 + 4;
    for (const auto& e : entries) {
        append(out, le16(e[0]));
        append(out, le16(e[1]));
        append(out, le32(1));
        const uint32_t value = e[0] == 273 ? pixels_at : e[2];
        append(out, e[1] == 3 ? Bytes{uint8_t(value), uint8_t(value >> 8), 0, 0} : le32(value));
    }
    append(out, le32(8));  // the next IFD is this one again
    out.resize(out.size() + 16, 0x80);
    return out;
}

// A large-document PSD whose layer section claims some 280 terabytes.
Bytes psd_with_huge_layer_section() {
    Bytes out = {'8', 'B', 'P', 'S'};
    append(out, be16(2));
    out.resize(out.size() + 6, 0);
    for (const uint32_t v : {1u}) append(out, be16(uint16_t(v)));  // channels
    append(out, be32(4));                                          // height
    append(out, be32(4));                                          // width
    append(out, be16(8));
    append(out, be16(1));  // gray
    append(out, be32(0));  // colour mode data
    append(out, be32(0));  // image resources
    append(out, be32(0xFFFF));
    append(out, be32(0xFFFFFFF0));  // 8-byte layer section length
    append(out, be16(0));
    out.resize(out.size() + 16, 0x40);
    return out;
}

// An RLE SGI file whose row tables send every row back into the header and the tables.
Bytes sgi_with_backward_row_tables(uint32_t height) {
    Bytes out;
    append(out, be16(474));
    out.push_back(1);  // RLE
    out.push_back(1);
    append(out, be16(2));
    append(out, be16(64));
    append(out, be16(uint16_t(height)));
    append(out, be16(1));
    append(out, be32(0));
    append(out, be32(255));
    out.resize(512, 0);
    for (uint32_t y = 0; y < height; ++y) append(out, be32(512 - y % 512));  // offsets
    for (uint32_t y = 0; y < height; ++y) append(out, be32(0x7FFFFFFF));     // lengths
    out.resize(out.size() + 64, 0x81);
    return out;
}

// An RLE SGI file of 16384 x 16384 x 3 in 394 KB: its row tables send every row of every
// channel to one row of data.
Bytes sgi_with_every_row_shared() {
    const uint32_t size = 16384, rows = size * 3;
    Bytes out;
    append(out, be16(474));
    out.push_back(1);  // RLE
    out.push_back(1);
    for (const uint16_t v : {uint16_t{3}, uint16_t(size), uint16_t(size), uint16_t{3}})
        append(out, be16(v));
    out.resize(512, 0);
    Bytes row;
    for (uint32_t left = size; left > 0; left -= std::min(left, 127u))
        row.insert(row.end(), {uint8_t(std::min(left, 127u)), 0x80});
    row.push_back(0);
    for (uint32_t i = 0; i < rows; ++i) append(out, be32(512 + 8 * rows));
    for (uint32_t i = 0; i < rows; ++i) append(out, be32(uint32_t(row.size())));
    append(out, row);
    return out;
}

// Claims no file of that size can hold are refused before anything is allocated for them.
TEST_F(HostileLoads, ClaimsFarBeyondTheFileAreRefused) {
    const Goods goods = {{"wsq", good_wsq()}, {"tif", tiff_with_ifd_loop()}};
    set_baseline(goods);
    for (const char* extension : {"sgi", "rgb"})
        EXPECT_FALSE(load(extension, sgi_with_every_row_shared(),
                          std::string(extension) + " sharing one row"));
    expect_no_gdi_leak(goods);
}

TEST_F(HostileLoads, LoopsAndClaimedSizesDoNotOutlastTheFile) {
    // The looping TIFF is a readable 4 x 4 picture: the picture class keeps it as it would any.
    const Goods goods = {{"wsq", good_wsq()}, {"tif", tiff_with_ifd_loop()}};
    set_baseline(goods);
    const std::pair<std::string, Bytes> cases[] = {
        {"tif", tiff_with_ifd_loop()},
        {"psd", psd_with_huge_layer_section()},
        {"sgi", sgi_with_backward_row_tables(8)},
        {"rgb", sgi_with_backward_row_tables(8)},
        {"sgi", sgi_with_backward_row_tables(60000)},
        {"rgb", sgi_with_backward_row_tables(60000)},
    };
    for (const auto& [extension, bytes] : cases) load(extension, bytes, extension + " crafted");
    // The container's own TIFF codec walks the chain through libtiff.
    const std::string path = dir_.file("loop.tif");
    write_file(path, tiff_with_ifd_loop());
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    const auto start = Clock::now();
    raster::ReadTiffFile(path.c_str(), &img, nullptr);
    EXPECT_LT(Clock::now() - start, kMaxLoadTime);
    raster::ReleaseImageRecord(&img);
    expect_no_gdi_leak(goods);
}

}  // namespace
}  // namespace quorvel::testing
