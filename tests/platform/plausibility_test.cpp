// Declared sizes against the data present: small crafted files whose headers claim far more
// pixels than their data can give are refused fast, before the picture is allocated, by every
// layer that reads them; and files made by the tools at extreme compression ratios (a white
// 4000 x 4000 picture) still load, so the bounds refuse nothing legitimate.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <quorvel/quorvel.hpp>

#include "api/file_state.h"
#include "raster/bmg_image.h"
#include "raster/codecs/codecs.h"
#include "readers/formats/pcd.h"
#include "readers/reader_classes.h"
#include "readers/formats/tiff.h"
#include "support/byte_fields.h"
#include "support/ridge_pattern.h"
#include "support/test_support.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/jpeg_image.h"

namespace quorvel::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

using namespace byte_fields;

// A little-endian TIFF with one directory of single-valued entries (tag, type 3 or 4, value),
// in tag order, followed by `data` at offset 8 + the directory's size.
Bytes tiff(const std::vector<std::array<uint32_t, 3>>& entries, const Bytes& data) {
    Bytes out = {'I', 'I', 42, 0};
    append(out, le32(8));
    append(out, le16(uint32_t(entries.size())));
    for (const auto& [tag, type, value] : entries) {
        append(out, le16(tag));
        append(out, le16(type));
        append(out, le32(1));
        append(out, type == 3 ? Bytes{uint8_t(value), uint8_t(value >> 8), 0, 0} : le32(value));
    }
    append(out, le32(0));
    append(out, data);
    return out;
}
constexpr uint32_t tiff_data_at(size_t entries) { return uint32_t(8 + 2 + 12 * entries + 4); }

// 8-bit gray, one strip of `data` (its offset and count given, or where it is).
Bytes tiff_gray(uint32_t width, uint32_t height, uint32_t compression, const Bytes& data,
                uint32_t offset = 0) {
    const uint32_t at = offset != 0 ? offset : tiff_data_at(8);
    return tiff({{256, 4, width},
                 {257, 4, height},
                 {258, 3, 8},
                 {259, 3, compression},
                 {262, 3, 1},
                 {273, 4, at},
                 {278, 4, height},
                 {279, 4, uint32_t(data.size())}},
                data);
}

// Baseline gray JPEG: one-code Huffman tables, the frame, the scan header, `coded` bytes.
Bytes jpeg_gray(uint16_t width, uint16_t height, size_t coded) {
    Bytes out = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    out.resize(out.size() + 64, 1);
    for (const uint8_t table : {0x00, 0x10}) {  // DC 0, AC 0: one code of one bit, symbol 0
        append(out, {0xFF, 0xC4, 0, 20, table, 1});
        out.resize(out.size() + 15, 0);
        out.push_back(0);
    }
    append(out, {0xFF, 0xC0, 0, 11, 8});
    append(out, be16(height));
    append(out, be16(width));
    append(out, {1, 1, 0x11, 0});
    append(out, {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
    out.resize(out.size() + coded, 0);
    append(out, {0xFF, 0xD9});
    return out;
}

// Gray PSD; PackBits with every row's length in the table set to `row_length` (and that many
// bytes a row), or raw with `raw` bytes of image data.
Bytes psd_gray(uint32_t width, uint32_t height, bool packed, uint16_t row_length, size_t raw = 0) {
    Bytes out = {'8', 'B', 'P', 'S'};
    append(out, be16(1));
    out.resize(out.size() + 6, 0);
    append(out, be16(1));
    append(out, be32(height));
    append(out, be32(width));
    append(out, be16(8));
    append(out, be16(1));
    for (int i = 0; i < 3; ++i) append(out, be32(0));
    append(out, be16(packed ? 1 : 0));
    if (packed) {
        for (uint32_t y = 0; y < height; ++y) append(out, be16(row_length));
        for (uint32_t y = 0; y < height; ++y)
            for (uint16_t i = 0; i < row_length; i += 2) append(out, {0x81, 0});  // runs of 128
    }
    out.resize(out.size() + raw, 0);
    return out;
}

// FLC: the 128-byte header and one frame chunk holding one sub-chunk of `type` with `payload`.
Bytes flc(uint16_t width, uint16_t height, uint16_t type, const Bytes& payload) {
    Bytes out;
    const uint32_t sub = uint32_t(6 + payload.size()), frame = 16 + sub;
    append(out, le32(128 + frame));
    append(out, le16(0xAF12));
    append(out, le16(1));
    append(out, le16(width));
    append(out, le16(height));
    append(out, le16(8));
    out.resize(128, 0);
    append(out, le32(frame));
    append(out, le16(0xF1FA));
    append(out, le16(1));
    out.resize(out.size() + 8, 0);
    append(out, le32(sub));
    append(out, le16(type));
    append(out, payload);
    return out;
}

// A byte-run chunk of white (index 255) rows, as short as the format allows.
Bytes white_byte_run(uint16_t width, uint16_t height) {
    Bytes rows;
    for (uint16_t y = 0; y < height; ++y) {
        rows.push_back(0);
        for (int left = width; left > 0; left -= 127)
            append(rows, {uint8_t(std::min(left, 127)), 255});
    }
    return rows;
}

// A WSQ stream of width x height cut 40 bytes after its first block header.
Bytes wsq_cut_after_first_block(int width, int height) {
    Bytes stream = quorvel::encode(ridge_pattern(width, height, 5), width, height);
    for (size_t at = 2; at + 4 < stream.size(); ++at)
        if (stream[at] == 0xFF && stream[at + 1] == 0xA3) {  // SOB and its 3-byte header
            stream.resize(at + 2 + 3 + 40);
            stream.push_back(0xFF);
            stream.push_back(0xA1);  // EOI
            return stream;
        }
    return {};
}

// A WSQ stream whose frame header claims width x height (the coded data stays as it was).
Bytes wsq_with_frame(Bytes stream, uint16_t width, uint16_t height) {
    for (size_t at = 2; at + 10 < stream.size(); ++at)
        if (stream[at] == 0xFF &&
            stream[at + 1] == 0xA2) {  // SOF: length, black, white, height, width
            const Bytes h = be16(height), w = be16(width);
            std::copy(h.begin(), h.end(), stream.begin() + long(at) + 6);
            std::copy(w.begin(), w.end(), stream.begin() + long(at) + 8);
        }
    return stream;
}

enum class Layer { Container, Readers, Codec };

// Loads through one layer: 0 for a picture of the expected width, 1 for another width, 2 for a
// reader's empty picture, else the layer's failure (a BMGError, the codec's negative code, or
// -1 for a reader's invalid-graphic exception).
int load(Layer layer, const std::string& path, int width, std::string* message = nullptr) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    if (layer == Layer::Codec) {
        try {
            return quorvel::decode(read_file(path)).width == width ? 0 : 1;
        } catch (const quorvel::Error& e) {
            if (message != nullptr) *message = e.what();
            return e.code();
        }
    }
    if (layer == Layer::Container) {
        api::start_library();  // hands the container its PSD decoder, as a library load does
        raster::BMGImage img;
        raster::ClearImageRecord(&img);
        raster::BMGError code = raster::BMG_OK;
        if (ext == "tif") code = raster::ReadTiffFile(path.c_str(), &img, nullptr);
        if (ext == "jpg") code = raster::ReadJpegFile(path.c_str(), &img);
        if (ext == "psd") code = raster::ReadPsdFile(path.c_str(), &img);
        if (ext == "flc") code = raster::ReadCelFile(path.c_str(), &img);
        const int got = code == raster::BMG_OK ? (int(img.width) == width ? 0 : 1) : int(code);
        raster::ReleaseImageRecord(&img);
        return got;
    }
    std::unique_ptr<toolkit::Graphic> graphic;
    if (ext == "tif") graphic = std::make_unique<readers::TTIFFGraphic>();
    if (ext == "jpg") graphic = std::make_unique<toolkit::JpegImage>();
    if (ext == "psd") graphic = readers::psd_graphic_class().make();
    if (ext == "pcd") graphic = std::make_unique<readers::TPCDGraphic>();
    const Bytes bytes = read_file(path);
    toolkit::Stream stream(bytes);
    try {
        graphic->LoadFromStream(stream);
    } catch (const toolkit::GraphicError&) {
        return -1;
    }
    if (graphic->empty()) return 2;
    return graphic->width() == width ? 0 : 1;
}

struct Crafted {
    const char* what;
    const char* extension;
    Bytes bytes;
    Layer layer;
    int expected;  // the layer's failure
};

struct Made {
    const char* extension;
    const char* command;  // makes $OUT from white.pgm and bilevel.pbm, 4000 x 4000 white
};

constexpr int kImageSize = raster::BMG_ERR_IMAGE_SIZE;
constexpr int kCorrupt = raster::BMG_ERR_CORRUPT_FORMAT;
constexpr int kInvalid = -1;

TEST(Plausibility, ClaimsBeyondTheDataFailFastAndToolFilesAtExtremeRatiosLoad) {
    if (!have_tool("convert") || !have_tool("tiffcp"))
        GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    const Bytes finding =
        read_file(std::string(QUORVEL_TEST_DATA) + "/hostile/tiled_tiles_absent.tif");
    const Bytes lzw_strip = tiff_gray(16000, 16000, 5, Bytes(10, 0x80));
    // Within the extended reader's whole-file bound (20 kB at 1032:1), but its strip is not there.
    Bytes deflate_outside = tiff_gray(4000, 4000, 8, Bytes(20000, 0), 1u << 30);
    const Bytes deflate_tiny = tiff_gray(16000, 16000, 8, Bytes(100, 0));
    const Bytes raw_short = tiff_gray(16000, 16000, 1, Bytes(1000, 0));
    const Bytes g4_tiny = tiff({{256, 4, 16000},
                                {257, 4, 16000},
                                {258, 3, 1},
                                {259, 3, 4},
                                {262, 3, 0},
                                {273, 4, tiff_data_at(8)},
                                {278, 4, 16000},
                                {279, 4, 100}},
                               Bytes(100, 0));
    Bytes pcd(8192, 0);
    std::memcpy(pcd.data() + 2048, "PCD_IPI", 7);
    const Bytes wsq_cut = wsq_cut_after_first_block(600, 500);
    ASSERT_FALSE(wsq_cut.empty());
    const Bytes wsq_claim =
        wsq_with_frame(quorvel::encode(ridge_pattern(96, 96, 3), 96, 96), 12000, 12000);

    const Crafted crafted[] = {
        {"tiled finding", "tif", finding, Layer::Container, kImageSize},
        {"tiled finding", "tif", finding, Layer::Readers, 2},  // tiled: the picture stays empty
        {"LZW strip of 10 bytes", "tif", lzw_strip, Layer::Container, kImageSize},
        {"LZW strip of 10 bytes", "tif", lzw_strip, Layer::Readers, kInvalid},
        {"deflate strip outside", "tif", deflate_outside, Layer::Container, kImageSize},
        {"deflate strip outside", "tif", deflate_outside, Layer::Readers, kInvalid},
        {"deflate strip of 100 bytes", "tif", deflate_tiny, Layer::Container, kImageSize},
        {"deflate strip of 100 bytes", "tif", deflate_tiny, Layer::Readers, kInvalid},
        {"raw strip short", "tif", raw_short, Layer::Container, kImageSize},
        {"raw strip short", "tif", raw_short, Layer::Readers, kInvalid},
        {"G4 strip of 100 bytes", "tif", g4_tiny, Layer::Container, kImageSize},
        {"G4 strip of 100 bytes", "tif", g4_tiny, Layer::Readers, kInvalid},
        {"JPEG scan of 100 bytes", "jpg", jpeg_gray(16000, 16000, 100), Layer::Container,
         kImageSize},
        {"JPEG scan of 100 bytes", "jpg", jpeg_gray(16000, 16000, 100), Layer::Readers, kInvalid},
        {"PSD PackBits rows empty", "psd", psd_gray(16000, 16000, true, 0), Layer::Container,
         kCorrupt},
        {"PSD PackBits rows empty", "psd", psd_gray(16000, 16000, true, 0), Layer::Readers,
         kInvalid},
        {"PSD raw data short", "psd", psd_gray(16000, 16000, false, 0, 4096), Layer::Container,
         kCorrupt},
        {"PSD raw data short", "psd", psd_gray(16000, 16000, false, 0, 4096), Layer::Readers,
         kInvalid},
        {"PCD base outside", "pcd", pcd, Layer::Readers, kInvalid},
        {"FLC byte run of 10 bytes", "flc", flc(16000, 16000, 15, Bytes(10, 0)), Layer::Container,
         kImageSize},
        {"FLC copy chunk short", "flc", flc(16000, 16000, 16, Bytes(100, 0)), Layer::Container,
         kImageSize},
        {"WSQ cut after a block header", "wsq", wsq_with_frame(wsq_cut, 12000, 12000), Layer::Codec,
         -20},
        {"WSQ frame claim", "wsq", wsq_claim, Layer::Codec, -20},
    };
    TempDir dir;
    for (const Crafted& c : crafted) {
        const std::string path = dir.file(std::string("crafted.") + c.extension);
        write_file(path, c.bytes);
        std::string message;
        const auto start = Clock::now();
        EXPECT_EQ(load(c.layer, path, -1, &message), c.expected)
            << c.what << " (" << c.bytes.size() << " bytes)";
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << c.what;
        if (c.layer == Layer::Codec) {
            EXPECT_NE(message.find("image of 12000 x 12000 needs more than the"), std::string::npos)
                << c.what << ": " << message;
        }
    }

    ASSERT_EQ(run("cd '" + dir.path().string() +
                  "' && convert -size 4000x4000 xc:white -depth 8 white.pgm && convert white.pgm "
                  "-monochrome bilevel.pbm"),
              0);
    const Made made[] = {
        {"tif", "convert white.pgm -compress None $OUT"},
        {"tif", "convert white.pgm -compress None t.tif && tiffcp -c lzw t.tif $OUT"},
        {"tif", "convert white.pgm -compress None t.tif && tiffcp -c zip t.tif $OUT"},
        {"tif", "convert white.pgm -compress None t.tif && tiffcp -c packbits t.tif $OUT"},
        {"tif", "convert white.pgm -compress None t.tif && tiffcp -c jpeg t.tif $OUT"},
        {"tif",
         "convert white.pgm -type TrueColor -compress None t.tif && tiffcp -c jpeg t.tif $OUT"},
        {"tif", "convert white.pgm -compress None t.tif && tiffcp -c zip -s -r 4000 t.tif $OUT"},
        {"tif",
         "convert white.pgm -compress None t.tif && tiffcp -c zip -t -w 256 -l 256 t.tif $OUT"},
        {"tif",
         "convert white.pgm -type TrueColor -compress None t.tif && tiffcp -p separate -c lzw "
         "t.tif $OUT"},
        {"tif", "convert bilevel.pbm -compress None t.tif && tiffcp -c g3 t.tif $OUT"},
        {"tif", "convert bilevel.pbm -compress None t.tif && tiffcp -c g3:2d t.tif $OUT"},
        {"tif", "convert bilevel.pbm -compress None t.tif && tiffcp -c g4 t.tif $OUT"},
        {"tif", "convert bilevel.pbm -compress None t.tif && tiffcp -c g4 -s -r 4000 t.tif $OUT"},
        {"jpg", "convert white.pgm $OUT"},
        {"jpg", "convert white.pgm -type TrueColor -sampling-factor 2x2 $OUT"},
        {"jpg", "convert white.pgm -type TrueColor -interlace Plane $OUT"},
        {"psd", "convert white.pgm -compress RLE $OUT"},
        {"psd", "convert white.pgm -type TrueColor -compress RLE $OUT"},
        {"pcd", "convert -size 768x512 xc:white $OUT"},
    };
    for (const Made& m : made) {
        const std::string out = dir.file(std::string("made.") + m.extension);
        std::string command = m.command;
        command.replace(command.find("$OUT"), 4, "'" + out + "'");
        ASSERT_EQ(run("cd '" + dir.path().string() + "' && rm -f made.* t.tif && " + command +
                      " 2>/dev/null"),
                  0)
            << command;
        const int width = std::string(m.extension) == "pcd" ? 768 : 4000;
        for (const Layer layer : {Layer::Container, Layer::Readers}) {
            if (std::string(m.extension) == "pcd" && layer == Layer::Container) continue;
            EXPECT_EQ(load(layer, out, width), 0)
                << command << (layer == Layer::Container ? " (container)" : " (readers)");
        }
    }
    // The byte-run frame at its shortest, a black frame of any size, and WSQ's longest runs (a
    // white picture alone codes no subband at all: one dot makes them coded, and all but zero).
    Bytes white_with_a_dot(4000 * 4000, 255);
    white_with_a_dot[2000 * 4000 + 2000] = 0;
    const std::pair<const char*, Bytes> own[] = {
        {"flc", flc(4000, 4000, 15, white_byte_run(4000, 4000))},
        {"flc", flc(4000, 4000, 13, {})},
        {"wsq", quorvel::encode(white_with_a_dot, 4000, 4000)},
    };
    for (const auto& [extension, bytes] : own) {
        const std::string path = dir.file(std::string("own.") + extension);
        write_file(path, bytes);
        EXPECT_EQ(
            load(std::string(extension) == "wsq" ? Layer::Codec : Layer::Container, path, 4000), 0)
            << extension << " of " << bytes.size() << " bytes";
    }
}

}  // namespace
}  // namespace quorvel::testing
