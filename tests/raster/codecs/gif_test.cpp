// GIF reader on files made with giflib's encoder: palettes and packing, the screen and its
// background, offsets, interlacing, transparency, local colour maps, and failures.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <optional>
#include <tuple>

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

// An image of the rectangle's size at its place on a screen of that size.
GifSpec placed(std::array<int, 2> screen, std::array<int, 4> rectangle) {
    GifSpec spec;
    std::tie(spec.screenWidth, spec.screenHeight) = std::tuple(screen[0], screen[1]);
    std::tie(spec.left, spec.top, spec.width, spec.height) =
        std::tuple(rectangle[0], rectangle[1], rectangle[2], rectangle[3]);
    return spec;
}

// Colour i of a map: red i * 10, green 255 - i, blue 7 (local maps: blue 99).
ColorMapObject* make_map(int count, uint8_t blue) {
    std::vector<GifColorType> colours(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        colours[i] =
            GifColorType{static_cast<GifByteType>(i * 10), static_cast<GifByteType>(255 - i), blue};
    return GifMakeMapObject(count, colours.data());
}

void write_gif(const std::string& path, const GifSpec& s) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = s.globalColours ? make_map(s.globalColours, 7) : nullptr;
    ColorMapObject* local = s.localColours ? make_map(s.localColours, 99) : nullptr;
    ASSERT_EQ(EGifPutScreenDesc(gif, s.screenWidth, s.screenHeight, 8, s.background, global),
              GIF_OK);
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
        std::vector<GifPixelType> line(s.pixels.begin() + y * s.width,
                                       s.pixels.begin() + (y + 1) * s.width);
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

class GifTest : public CodecFile<"g.gif"> {
protected:
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
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(index_at(rec.img, i % 5, 2 - i / 5), i % colours) << colours;
        EXPECT_EQ(rec->palette[4 * 1 + 2], 10);   // red of entry 1
        EXPECT_EQ(rec->palette[4 * 1 + 1], 254);  // green
        EXPECT_EQ(rec->palette[4 * 1 + 0], 7);    // blue
    }
}

TEST_F(GifTest, ImageSitsOnTheScreenBackgroundAtItsOffsets) {
    GifSpec spec = placed({30, 40}, {10, 20, 2, 2});
    spec.background = 3;
    spec.globalColours = 256;
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
    GifSpec spec = placed({3, 3}, {2, 1, 4, 4});
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
    for (const size_t field : {descriptor + 5, descriptor + 7})
        bytes[field] = bytes[field + 1] = 0xEA;
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

    // A 2 x 1 image without a colour map of its own or of the screen's (giflib writes none).
    Bytes colourless;
    colourless.text("GIF89a").le16(2).le16(1).u8(0).u8(0).u8(0);
    colourless.u8(',').le16(0).le16(0).le16(2).le16(1).u8(0);
    colourless.u8(2).u8(2).u8(0x04).u8(0x0A).u8(0).u8(';');  // clear, 0, 0, end in 3 bits
    EXPECT_EQ(read_bytes(ReadGifFile, path, colourless.b, rec), BMG_ERR_CORRUPT_FORMAT);
    EXPECT_EQ(rec->pixels, nullptr);

    // A screen with no image at all.
    Bytes empty;
    empty.text("GIF89a").le16(4).le16(4).u8(0x80).u8(0).u8(0).fill(6, 0).u8(';');
    EXPECT_EQ(read_bytes(ReadGifFile, path, empty.b, rec), BMG_ERR_CORRUPT_FORMAT);
}

// GIF LZW data of `minCodeSize` (1 to 11) for `pixels`, built as the format describes: a
// clear code, the longest known string's code each time, a new code for it plus the next
// pixel, the code width growing with the table, a clear code when the table is full, and an
// end code. The decoder adds its codes one step behind, so the width follows the table less one.
std::vector<uint8_t> lzw(const std::vector<uint8_t>& pixels, unsigned minCodeSize) {
    const unsigned clear = 1u << minCodeSize;
    std::map<std::pair<unsigned, unsigned>, unsigned> table;
    unsigned next = clear + 2;
    std::vector<uint8_t> out;
    uint64_t bits = 0;
    unsigned held = 0;
    auto put = [&](unsigned code) {
        unsigned width = minCodeSize + 1;
        while (width < 12 && next - 1 >= (1u << width)) ++width;
        bits |= uint64_t{code} << held;
        for (held += width; held >= 8; held -= 8, bits >>= 8)
            out.push_back(static_cast<uint8_t>(bits));
    };
    auto put_and_grow = [&](unsigned code, unsigned pixel, bool last) {
        put(code);
        if (!last) table[{code, pixel}] = next;
        if (++next == 4096 && !last) put(clear), table.clear(), next = clear + 2;
    };
    next = clear + 1;  // the clear code itself is read at the first width
    put(clear);
    next = clear + 2;
    unsigned prefix = pixels.empty() ? 0 : pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const auto known = table.find({prefix, pixels[i]});
        if (known != table.end()) {
            prefix = known->second;
            continue;
        }
        put_and_grow(prefix, pixels[i], false);
        prefix = pixels[i];
    }
    put_and_grow(prefix, 0, true);
    put(clear + 1);
    if (held > 0) out.push_back(static_cast<uint8_t>(bits));
    return out;
}

// A picture on a 4-entry global map (colours as make_map's), its raster coded with
// `minCodeSize`; `interlaced` stores its rows in the four passes.
Bytes gif_with_code_size(unsigned minCodeSize, int width, int height,
                         const std::vector<uint8_t>& pixels, bool interlaced = false) {
    Bytes b;
    b.text("GIF89a").le16(width).le16(height).u8(0xF1).u8(0).u8(0);
    for (int i = 0; i < 4; ++i) b.u8(i * 10).u8(255 - i).u8(7);
    b.u8('!').u8(0xF9).u8(4).u8(1).le16(0).u8(3).u8(0);  // index 3 is transparent
    b.u8(',').le16(0).le16(0).le16(width).le16(height).u8(interlaced ? 0x40 : 0).u8(minCodeSize);
    std::vector<uint8_t> stored;
    for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = interlaced ? start : height; y < height; y += step)
            stored.insert(stored.end(), pixels.begin() + y * width,
                          pixels.begin() + (y + 1) * width);
    const std::vector<uint8_t> data = lzw(interlaced ? stored : pixels, minCodeSize);
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        b.u8(static_cast<unsigned>(n))
            .raw(std::vector<uint8_t>(data.begin() + at, data.begin() + at + n));
    }
    return b.u8(0).u8(';');
}

// Some encoders write minimum code sizes of 9 to 11, which giflib refuses; those are decoded
// by our own LZW decoder, to the picture meant and to what Pillow reads. 12 would make the
// first codes 13 bits wide, more than the format has.
TEST_F(GifTest, CodeSizesUpToElevenLoad) {
    const int width = 97, height = 61;
    std::vector<uint8_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(static_cast<uint8_t>((x / 3 + y * y / 7 + (x * y) % 5) % 4));
    for (unsigned size : {2u, 8u, 9u, 10u, 11u})
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (interlaced ? " interlaced" : ""));
            const Bytes file = gif_with_code_size(size, width, height, pixels, interlaced);
            Record rec(0);
            ASSERT_EQ(read_bytes(ReadGifFile, path, file.b, rec), BMG_OK);
            EXPECT_EQ(rec->transparentIndex, 3);
            int wrong = 0;
            for (int i = 0; i < width * height; ++i)
                wrong += index_at(rec.img, i % width, height - 1 - i / width) != pixels[i];
            EXPECT_EQ(wrong, 0);
            EXPECT_TRUE(same_pixels(to_picture(rec.img, false),
                                    normalised(pillow_decode(path, dir.file("p.pam")))));
        }
    Record rec;
    EXPECT_EQ(read_bytes(ReadGifFile, path, gif_with_code_size(12, 4, 3, ramp(12, 4)).b, rec),
              BMG_ERR_CORRUPT_FORMAT);
    EXPECT_EQ(rec->pixels, nullptr);
    // Cut inside the data, or with codes the table does not hold yet.
    std::vector<uint8_t> cut = gif_with_code_size(11, width, height, pixels).b;
    cut.resize(cut.size() / 2);
    EXPECT_EQ(read_bytes(ReadGifFile, path, cut, rec), BMG_ERR_CORRUPT_FORMAT);
    std::vector<uint8_t> undefined = gif_with_code_size(11, 4, 3, ramp(12, 4)).b;
    undefined[13 + 12 + 8 + 12] = 0xFF, undefined[13 + 12 + 8 + 13] = 0xFF;  // the first code
    EXPECT_EQ(read_bytes(ReadGifFile, path, undefined, rec), BMG_ERR_CORRUPT_FORMAT);
}

}  // namespace
}  // namespace quorvel::codec_test
