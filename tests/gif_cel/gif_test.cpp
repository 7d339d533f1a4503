// GIF reader on files made with giflib's encoder: palettes and packing, the screen and its
// background, offsets, interlacing, transparency, local colour maps, and failures.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "support/codec_test_helpers.h"
#include "raster/bmg_error.h"

namespace quorvel::codec_test {
namespace {

using namespace quorvel::raster;

struct GifSpec {
    int screenWidth = 4, screenHeight = 3, background = 0;
    int globalColours = 4;  // 0: no global colour map
    int left = 0, top = 0, width = 4, height = 3;
    bool interlace = false;
    int localColours = 0;
    std::optional<std::array<uint8_t, 4>> control;
    std::vector<uint8_t> pixels;  // width x height, top row first
};

// Colour i of a map: red i * 10, green 255 - i, blue 7 (local maps: blue 99).
ColorMapObject* make_map(int count, uint8_t blue) {
    std::vector<GifColorType> colours(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) colours[i] = GifColorType{static_cast<GifByteType>(i * 10), static_cast<GifByteType>(255 - i), blue};
    return GifMakeMapObject(count, colours.data());
}

void write_gif(const std::string& path, const GifSpec& s) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = s.globalColours ? make_map(s.globalColours, 7) : nullptr;
    ColorMapObject* local = s.localColours ? make_map(s.localColours, 99) : nullptr;
    ASSERT_EQ(EGifPutScreenDesc(gif, s.screenWidth, s.screenHeight, 8, s.background, global), GIF_OK);
    if (s.control) {
        ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, s.control->data()), GIF_OK);
    }
    ASSERT_EQ(EGifPutImageDesc(gif, s.left, s.top, s.width, s.height, s.interlace, local), GIF_OK);
    std::vector<int> order;
    if (s.interlace) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < s.height; y += step) order.push_back(y);
    } else {
        for (int y = 0; y < s.height; ++y) order.push_back(y);
    }
    for (int y : order) {
        std::vector<GifPixelType> line(s.pixels.begin() + y * s.width, s.pixels.begin() + (y + 1) * s.width);
        ASSERT_EQ(EGifPutLine(gif, line.data(), s.width), GIF_OK);
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(global);
    GifFreeMapObject(local);
}

std::vector<uint8_t> ramp(int count, int modulo) {
    std::vector<uint8_t> v(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) v[i] = static_cast<uint8_t>(i % modulo);
    return v;
}

class GifTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string path = dir.file("g.gif");
    BMGError read(const GifSpec& spec, Record& rec) {
        write_gif(path, spec);
        return ReadGifFile(path.c_str(), &rec.img);
    }
};

TEST_F(GifTest, PaletteSizeDecidesTheDepth) {
    for (auto [colours, bits] : {std::pair{2, 1}, {16, 4}, {256, 8}}) {
        GifSpec spec;
        spec.globalColours = colours;
        spec.width = spec.screenWidth = 5;
        spec.pixels = ramp(15, colours);
        Record rec;
        ASSERT_EQ(read(spec, rec), BMG_OK);
        EXPECT_EQ(rec->bitsPerPixel, bits);
        EXPECT_EQ(rec->paletteSize, colours);
        for (int i = 0; i < 15; ++i) EXPECT_EQ(index_at(rec.img, i % 5, 2 - i / 5), i % colours) << colours;
        EXPECT_EQ(rec->palette[4 * 1 + 2], 10);   // red of entry 1
        EXPECT_EQ(rec->palette[4 * 1 + 1], 254);  // green
        EXPECT_EQ(rec->palette[4 * 1 + 0], 7);    // blue
    }
}

TEST_F(GifTest, ImageSitsOnTheScreenBackgroundAtItsOffsets) {
    GifSpec spec;
    spec.screenWidth = 30;
    spec.screenHeight = 40;
    spec.background = 3;
    spec.globalColours = 256;
    spec.left = 10;
    spec.top = 20;
    spec.width = 2;
    spec.height = 2;
    spec.pixels = {200, 201, 202, 203};
    Record rec;
    ASSERT_EQ(read(spec, rec), BMG_OK);
    ASSERT_EQ(rec->width, 30u);
    ASSERT_EQ(rec->height, 40u);
    auto at = [&](uint32_t x, uint32_t y) { return index_at(rec.img, x, 39 - y); };
    EXPECT_EQ(at(10, 20), 200);
    EXPECT_EQ(at(11, 21), 203);
    EXPECT_EQ(at(9, 20), 3);
    EXPECT_EQ(at(12, 21), 3);
    EXPECT_EQ(at(10, 22), 3);
    EXPECT_EQ(at(0, 0), 3);
}

TEST_F(GifTest, ImagesReachingPastTheScreenAreClipped) {
    GifSpec spec;
    spec.screenWidth = 3;
    spec.screenHeight = 3;
    spec.left = 2;
    spec.top = 1;
    spec.width = 4;
    spec.height = 4;
    spec.globalColours = 16;
    spec.pixels = ramp(16, 16);
    Record rec;
    ASSERT_EQ(read(spec, rec), BMG_OK);
    EXPECT_EQ(index_at(rec.img, 2, 1), 0);  // screen row 1 is stored row 1
    EXPECT_EQ(index_at(rec.img, 2, 0), 4);
}

TEST_F(GifTest, InterlacedRowsComeOutInPictureOrder) {
    GifSpec spec;
    spec.screenWidth = spec.width = 3;
    spec.screenHeight = spec.height = 11;
    spec.globalColours = 16;
    spec.interlace = true;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 3; ++x) spec.pixels.push_back(static_cast<uint8_t>(y));
    Record rec(0);
    ASSERT_EQ(read(spec, rec), BMG_OK);
    for (uint32_t y = 0; y < 11; ++y) EXPECT_EQ(index_at(rec.img, 1, 10 - y), y);
}

TEST_F(GifTest, TransparencyComesFromTheGraphicControlExtension) {
    GifSpec spec;
    spec.pixels = ramp(12, 4);
    spec.control = std::array<uint8_t, 4>{1, 0, 0, 2};
    Record rec;
    ASSERT_EQ(read(spec, rec), BMG_OK);
    EXPECT_EQ(rec->transparentIndex, 2);

    spec.control = std::array<uint8_t, 4>{0, 0, 0, 2};
    Record clear;
    ASSERT_EQ(read(spec, clear), BMG_OK);
    EXPECT_EQ(clear->transparentIndex, -1);

    // An index beyond the palette is no transparent colour.
    spec.control = std::array<uint8_t, 4>{1, 0, 0, 9};
    Record beyond;
    ASSERT_EQ(read(spec, beyond), BMG_OK);
    EXPECT_EQ(beyond->transparentIndex, -1);
}

TEST_F(GifTest, ALocalColourMapColoursTheFirstImage) {
    GifSpec spec;
    spec.globalColours = 0;
    spec.localColours = 4;
    spec.pixels = ramp(12, 4);
    Record rec;
    ASSERT_EQ(read(spec, rec), BMG_OK);
    EXPECT_EQ(rec->paletteSize, 4);
    EXPECT_EQ(rec->palette[0], 99);

    spec.globalColours = 256;
    Record both;
    ASSERT_EQ(read(spec, both), BMG_OK);
    EXPECT_EQ(both->paletteSize, 4);
    EXPECT_EQ(both->palette[4 * 3], 99);
}

// giflib sizes an image from its descriptor: one claiming more pixels than its few data bytes
// can give is refused before that, while a large image of one colour (LZW's best case) loads.
TEST_F(GifTest, DescriptorsClaimingMoreThanTheirDataAreRefused) {
    GifSpec spec;
    spec.pixels = ramp(12, 4);
    write_gif(path, spec);
    std::vector<uint8_t> bytes = testing::read_file(path);
    const size_t descriptor = 13 + 3 * 4;
    ASSERT_EQ(bytes[descriptor], 0x2C);
    for (const size_t field : {descriptor + 5, descriptor + 7}) bytes[field] = bytes[field + 1] = 0xEA;
    Record rec;
    EXPECT_EQ(read_bytes(ReadGifFile, path, bytes, rec), BMG_ERR_IMAGE_SIZE);
    EXPECT_EQ(rec->pixels, nullptr);

    GifSpec flat;
    flat.screenWidth = flat.width = 1500;
    flat.screenHeight = flat.height = 1000;
    flat.pixels.assign(1500 * 1000, 2);
    Record big;
    ASSERT_EQ(read(flat, big), BMG_OK);
    EXPECT_EQ(big->width, 1500u);
}

TEST_F(GifTest, FilesGiflibCannotReadFail) {
    Record rec;
    EXPECT_EQ(ReadGifFile(dir.file("none.gif").c_str(), &rec.img), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_OPEN_FILE);
    EXPECT_EQ(ReadGifFile(path.c_str(), nullptr), BMG_ERR_IMAGE_POINTER);

    GifSpec spec;
    spec.pixels = ramp(12, 4);
    write_gif(path, spec);
    std::vector<uint8_t> bytes = testing::read_file(path);
    bytes.resize(bytes.size() - 8);  // cut into the raster
    EXPECT_EQ(read_bytes(ReadGifFile, path, bytes, rec), BMG_ERR_CORRUPT_FORMAT);
    EXPECT_EQ(rec->pixels, nullptr);
    EXPECT_EQ(GetLastImageError(), BMG_ERR_CORRUPT_FORMAT);

    // A screen with no image at all.
    Bytes empty;
    empty.text("GIF89a").le16(4).le16(4).u8(0x80).u8(0).u8(0).fill(6, 0).u8(';');
    EXPECT_EQ(read_bytes(ReadGifFile, path, empty.b, rec), BMG_ERR_CORRUPT_FORMAT);
}

// LZW data of `minCodeSize` that sends every pixel as its own code, with a clear code before
// the table would outgrow the first code width, as simple encoders do.
std::vector<uint8_t> literal_lzw(const std::vector<uint8_t>& pixels, unsigned minCodeSize) {
    const unsigned clear = 1u << minCodeSize, width = minCodeSize + 1;
    std::vector<uint8_t> out;
    uint32_t bits = 0, held = 0;
    auto put = [&](unsigned code) {
        bits |= code << held;
        for (held += width; held >= 8; held -= 8, bits >>= 8) out.push_back(static_cast<uint8_t>(bits));
    };
    put(clear);
    unsigned sinceClear = 0;
    for (uint8_t p : pixels) {
        put(p);
        if (++sinceClear == (1u << width) - clear - 3) put(clear), sinceClear = 0;
    }
    put(clear + 1);
    if (held > 0) out.push_back(static_cast<uint8_t>(bits));
    return out;
}

// A 4x3 picture on a 4-entry global map, its raster coded with `minCodeSize`.
Bytes gif_with_code_size(unsigned minCodeSize) {
    Bytes b;
    b.text("GIF89a").le16(4).le16(3).u8(0xF1).u8(0).u8(0);
    for (int i = 0; i < 4; ++i) b.u8(i * 10).u8(255 - i).u8(7);
    b.u8(',').le16(0).le16(0).le16(4).le16(3).u8(0).u8(minCodeSize);
    const std::vector<uint8_t> data = literal_lzw(ramp(12, 4), minCodeSize);
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        b.u8(static_cast<unsigned>(n)).raw(std::vector<uint8_t>(data.begin() + at, data.begin() + at + n));
    }
    return b.u8(0).u8(';');
}

// Some encoders write minimum code sizes of 9 to 11. giflib 5 refuses any above 8, and its
// decoder is the one we use, so such files fail as files giflib cannot read.
TEST_F(GifTest, CodeSizesAboveEightFailCleanly) {
    for (unsigned size : {2u, 8u}) {
        Record rec;
        ASSERT_EQ(read_bytes(ReadGifFile, path, gif_with_code_size(size).b, rec), BMG_OK) << size;
        for (int i = 0; i < 12; ++i) EXPECT_EQ(index_at(rec.img, i % 4, 2 - i / 4), i % 4) << size;
    }
    for (unsigned size : {9u, 10u, 11u, 12u}) {
        Record rec;
        EXPECT_EQ(read_bytes(ReadGifFile, path, gif_with_code_size(size).b, rec), BMG_ERR_CORRUPT_FORMAT) << size;
        EXPECT_EQ(GetLastImageError(), BMG_ERR_CORRUPT_FORMAT) << size;
        EXPECT_EQ(rec->pixels, nullptr) << size;
        EXPECT_EQ(rec->palette, nullptr) << size;
    }
}

TEST_F(GifTest, MutatedFilesNeverBreakTheReader) {
    GifSpec spec;
    spec.screenWidth = 12;
    spec.screenHeight = 9;
    spec.left = 2;
    spec.top = 1;
    spec.width = 9;
    spec.height = 7;
    spec.globalColours = 32;
    spec.interlace = true;
    spec.control = std::array<uint8_t, 4>{1, 0, 0, 5};
    spec.pixels = ramp(63, 32);
    write_gif(path, spec);
    mutation_run(ReadGifFile, path, testing::read_file(path), 501, 300);
}

}  // namespace
}  // namespace quorvel::codec_test
