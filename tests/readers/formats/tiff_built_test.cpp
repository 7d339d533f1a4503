// TTIFFGraphic on files built here from their public descriptions: ThunderScan, CCITT
// modified Huffman (byte- and word-aligned, extended make-up codes), and damaged or hostile
// directories, which must be refused or read within the file, never past it.
#include <tiffio.h>
#include <zlib.h>

#include <fstream>
#include <functional>

#include "readers/decoders/ccitt_codes.h"
#include "support/recording_presenter.h"
#include "tiff_builder.h"
#include "tiff_test_helpers.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers::test {
namespace {

using testing::Picture;

enum : uint16_t { kShort = 3, kLong = 4 };

TiffBuilder basic(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                  uint32_t photometric) {
    TiffBuilder b;
    b.set(256, kLong, {width}).set(257, kLong, {height}).set(258, kShort, {bits});
    b.set(259, kShort, {compression}).set(262, kShort, {photometric}).strips_from_blocks();
    return b;
}

void load(TTIFFGraphic& graphic, const std::vector<uint8_t>& file) {
    toolkit::Stream stream(file);
    graphic.LoadFromStream(stream);
}

std::string load_error(const std::vector<uint8_t>& file) {
    TTIFFGraphic graphic;
    try {
        load(graphic, file);
    } catch (const toolkit::GraphicError& e) {
        EXPECT_TRUE(graphic.empty());
        return e.what();
    }
    return "";
}

// Gray levels of the loaded picture, row by row.
std::vector<std::vector<int>> grays(TTIFFGraphic& graphic) {
    const Picture rgb = bitmap_rgb(graphic);
    std::vector<std::vector<int>> rows(rgb.height);
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x) rows[y].push_back(rgb.at(x, y, 0));
    return rows;
}

TEST(ThunderScan, DecodesRunsDeltasAndLiteralsAndRestartsEachRow) {
    // Row 0: literal 5, run of 3, 2-bit deltas 0 +1 skip, 3-bit deltas +1 -1, literal 0, then
    // 2-bit deltas -1 -1 -1 of which only the first fits (wrapping to 15). Row 1 starts from 0.
    const std::vector<uint8_t> data = {0xC5, 0x03, 0x46, 0x8F, 0xC0, 0x7F, 0x01, 0xC9, 0x08};
    TiffBuilder b = basic(10, 2, 4, 32809, 1);
    b.add_block(data);
    TTIFFGraphic graphic;
    load(graphic, b.build());
    const std::vector<int> row0 = {5, 5, 5, 5, 5, 6, 7, 6, 0, 15},
                           row1 = {0, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    std::vector<std::vector<int>> expected = {row0, row1};
    for (auto& row : expected)
        for (int& v : row) v *= 17;
    EXPECT_EQ(grays(graphic), expected);
}

// T.4 one-dimensional coding of bilevel rows, for modified Huffman files.
class BitWriter {
public:
    void code(const char* bits) {
        for (; *bits; ++bits) put(*bits == '1');
    }
    void put(bool bit) {
        if (count_ % 8 == 0) bytes.push_back(0);
        if (bit) bytes.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
        ++count_;
    }
    void align(unsigned bits) {
        while (count_ % bits) put(false);
    }
    std::vector<uint8_t> bytes;

private:
    size_t count_ = 0;
};

const char* code_for(ccitt::CodeTable table, unsigned run) {
    for (unsigned i = 0; i < table.count; ++i)
        if (table.codes[i].run == run) return table.codes[i].bits;
    return nullptr;
}

void encode_run(BitWriter& out, unsigned run, bool black) {
    const ccitt::CodeTable table = black ? ccitt::black_codes() : ccitt::white_codes();
    while (run > 2560) out.code(code_for(ccitt::extended_codes(), 2560)), run -= 2560;
    if (run >= 1792) out.code(code_for(ccitt::extended_codes(), run / 64 * 64)), run %= 64;
    if (run >= 64) out.code(code_for(table, run / 64 * 64)), run %= 64;
    out.code(code_for(table, run));
}

// Rows given as runs, white first; the picture they mean as 0 (white) and 255 (black) grays
// inverted to what a min-is-white bitmap shows.
struct FaxImage {
    uint32_t width;
    std::vector<std::vector<unsigned>> rows;
    std::vector<std::vector<int>> shown() const {
        std::vector<std::vector<int>> out;
        for (const auto& runs : rows) {
            std::vector<int> row;
            bool black = false;
            for (unsigned run : runs) row.insert(row.end(), run, black ? 0 : 255), black = !black;
            out.push_back(row);
        }
        return out;
    }
};

std::vector<uint8_t> mh_strip(const FaxImage& image, unsigned alignment, bool reversed) {
    BitWriter out;
    for (const auto& runs : image.rows) {
        bool black = false;
        for (unsigned run : runs) encode_run(out, run, black), black = !black;
        out.align(alignment);
    }
    if (reversed)
        for (uint8_t& b : out.bytes) {
            uint8_t r = 0;
            for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r << 1 | ((b >> i) & 1));
            b = r;
        }
    return out.bytes;
}

struct MHCase {
    const char* name;
    uint32_t compression;
    unsigned alignment;
    bool reversed;
};

class ModifiedHuffman : public ::testing::TestWithParam<MHCase> {};

TEST_P(ModifiedHuffman, DecodesAlignedRows) {
    const MHCase& c = GetParam();
    // Odd row lengths in bits, so that byte and word alignment differ; the wide row needs the
    // extended make-up codes and a row ends black.
    const FaxImage image{
        2600, {{2600}, {1900, 650, 50}, {3, 1, 1, 2595}, {0, 2599, 1}, {1800, 800}, {64, 2536}}};
    TiffBuilder b = basic(image.width, uint32_t(image.rows.size()), 1, c.compression, 0);
    if (c.reversed) b.set(266, kShort, {2});
    b.add_block(mh_strip(image, c.alignment, c.reversed));
    TTIFFGraphic graphic;
    load(graphic, b.build());
    EXPECT_FALSE(graphic.loaded_by_fallback());
    EXPECT_EQ(grays(graphic), image.shown());
}

INSTANTIATE_TEST_SUITE_P(Cases, ModifiedHuffman,
                         ::testing::Values(MHCase{"bytes", 2, 8, false},
                                           MHCase{"bytes_lsb", 2, 8, true},
                                           MHCase{"words", 32771, 16, false},
                                           MHCase{"words_lsb", 32771, 16, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CCITTCodes, EveryTableIsPrefixFreeAndEveryRunHasACode) {
    for (const bool black : {false, true}) {
        std::vector<std::string> codes;
        for (const auto table :
             {black ? ccitt::black_codes() : ccitt::white_codes(), ccitt::extended_codes()})
            for (unsigned i = 0; i < table.count; ++i) codes.push_back(table.codes[i].bits);
        for (size_t i = 0; i < codes.size(); ++i)
            for (size_t j = 0; j < codes.size(); ++j) {
                if (i == j) continue;
                EXPECT_NE(codes[j].rfind(codes[i], 0), 0u) << codes[i] << " prefixes " << codes[j];
            }
        const ccitt::CodeTable table = black ? ccitt::black_codes() : ccitt::white_codes();
        for (unsigned run = 0; run < 64; ++run) EXPECT_NE(code_for(table, run), nullptr) << run;
        for (unsigned run = 64; run <= 1728; run += 64)
            EXPECT_NE(code_for(table, run), nullptr) << run;
        EXPECT_EQ(codes.size(), 64u + 27u + 13u);
    }
}

// Uncompressed 8-bit gray rows: value x + 10 y.
std::vector<uint8_t> gray_rows(uint32_t width, uint32_t height) {
    std::vector<uint8_t> out;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) out.push_back(static_cast<uint8_t>(x + 10 * y));
    return out;
}

std::vector<std::vector<int>> gray_expected(uint32_t width, uint32_t height) {
    std::vector<std::vector<int>> rows(height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) rows[y].push_back(int(x + 10 * y));
    return rows;
}

TEST(TiffStructure, MissingCompressionTagMeansNone) {
    TiffBuilder b;
    b.set(256, kShort, {4})
        .set(257, kShort, {3})
        .set(258, kShort, {8})
        .set(262, kShort, {1})
        .strips_from_blocks();
    b.add_block(gray_rows(4, 3));
    TTIFFGraphic graphic;
    load(graphic, b.build());
    EXPECT_EQ(grays(graphic), gray_expected(4, 3));
}

TEST(TiffStructure, RowsPerStripWithAllBitsSetIsOneStrip) {
    TiffBuilder b = basic(4, 3, 8, 1, 1);
    b.set(278, kLong, {0xFFFFFFFFu});
    b.add_block(gray_rows(4, 3));
    TTIFFGraphic graphic;
    load(graphic, b.build());
    EXPECT_EQ(grays(graphic), gray_expected(4, 3));
}

TEST(TiffStructure, ShortStripConvertsTheRowsItCovers) {
    TiffBuilder b = basic(4, 3, 8, 1, 1);
    std::vector<uint8_t> rows = gray_rows(4, 3);
    rows.resize(9);  // two rows and a piece of the third
    b.add_block(rows);
    TTIFFGraphic graphic;
    load(graphic, b.build());
    std::vector<std::vector<int>> expected = gray_expected(4, 3);
    expected[2] = {20, 0, 0, 0};  // the piece that is there, the rest cleared
    EXPECT_EQ(grays(graphic), expected);
}

// Inflated by zlib as far as the cut stream goes; what it could not give stays cleared.
std::vector<uint8_t> inflate_prefix(const std::vector<uint8_t>& packed, size_t limit) {
    std::vector<uint8_t> out(limit);
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_NO_FLUSH);
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    return out;
}

// The count (field 4) or the inline value (field 8) of `tag` in a little-endian file's first
// directory.
void patch_entry(std::vector<uint8_t>& file, uint16_t tag, size_t field, uint32_t value) {
    const uint32_t ifd = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
    for (size_t at = ifd + 2; at + 12 <= file.size(); at += 12) {
        if ((file[at] | file[at + 1] << 8) != tag) continue;
        for (int i = 0; i < 4; ++i) file[at + field + i] = uint8_t(value >> (8 * i));
        return;
    }
}

// The byte count libtiff gives the first strip of `file`, which it estimates when the file's
// is 0: the file but for its header, directory and values.
uint64_t libtiff_strip_bytes(const std::vector<uint8_t>& file) {
    testing::TempDir dir;
    const std::string path = dir.file("estimate.tif");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const TIFFErrorHandler warnings = TIFFSetWarningHandler(nullptr);  // "Bogus StripByteCounts"
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    TIFFSetWarningHandler(warnings);
    if (tif == nullptr) return 0;
    const uint64_t bytes = TIFFGetStrileByteCount(tif, 0);
    TIFFClose(tif);
    return bytes;
}

// A Deflate strip whose data ends early converts the rows it inflates: data cut short, or a
// zero byte count, which holds what libtiff estimates for it (here half the stream: a value
// array overlapping the strip counts as the directory's).
TEST(TiffStructure, DeflateStripCutShortConvertsWhatInflates) {
    const uint32_t w = 64, h = 8;
    std::vector<uint8_t> rows(w * h);
    uint32_t noise = 7;
    for (uint8_t& v : rows)
        v = static_cast<uint8_t>(((noise = noise * 1103515245u + 12345u) >> 29) * 30);
    std::vector<uint8_t> packed(compressBound(uLong(rows.size())));
    uLongf size = packed.size();
    compress2(packed.data(), &size, rows.data(), uLong(rows.size()), 9);
    packed.resize(size);
    for (const bool zero_count : {false, true}) {
        SCOPED_TRACE(zero_count ? "zero byte count" : "data cut short");
        TiffBuilder b = basic(w, h, 8, 8, 1);
        if (zero_count) b.set_bytes(700, 7, std::vector<uint8_t>(8, 0));
        b.add_block(zero_count ? packed
                               : std::vector<uint8_t>(packed.begin(), packed.begin() + size / 2));
        std::vector<uint8_t> file = b.build();
        size_t held = size / 2;
        if (zero_count) {
            patch_entry(file, 279, 8, 0);
            patch_entry(file, 700, 4, uint32_t(8 + size / 2));
            held = libtiff_strip_bytes(file);
            ASSERT_LT(held, size);
        }
        const std::vector<uint8_t> inflated =
            inflate_prefix({packed.begin(), packed.begin() + long(held)}, rows.size());
        ASSERT_GT(inflated.size() % w, 0u);  // the last row it reaches is a piece
        TTIFFGraphic graphic;
        load(graphic, file);
        std::vector<std::vector<int>> expected(h, std::vector<int>(w, 0));
        for (size_t i = 0; i < inflated.size(); ++i) expected[i / w][i % w] = inflated[i];
        EXPECT_EQ(grays(graphic), expected);
    }
}

TEST(TiffStructure, FileCutShortLoadsTheRowsItHolds) {
    TiffBuilder b = basic(200, 100, 8, 1, 1);
    const std::vector<uint8_t> rows = gray_rows(200, 100);
    b.add_block(rows);
    std::vector<uint8_t> file = b.build();
    file.resize(file.size() * 6 / 10);
    TTIFFGraphic graphic;
    load(graphic, file);
    const std::vector<std::vector<int>> shown = grays(graphic);
    ASSERT_EQ(shown.size(), 100u);
    EXPECT_EQ(shown[10][7], rows[10 * 200 + 7]);
    EXPECT_EQ(shown[99], std::vector<int>(200, 0));  // past the end: cleared
}

// What libtiff makes of a Photometric tag that is missing or has more than one value, of a
// ColorMap of the wrong size (ignored: the palette image is gray), of strip arrays longer than
// the file, and of a zero byte count (the strip holds what libtiff estimates): the native
// decoders show the picture as the fallback does.
TEST(TiffStructure, PhotometricAndStripArraysReadAsLibtiffReadsThem) {
    struct Case {
        const char* name;
        std::vector<uint32_t> photometric;  // empty: no tag
        uint32_t strip_array_count;         // 0: as built
        bool deflate_without_count;         // one Deflate strip, its byte count 0
        size_t colour_map_values;           // a ColorMap of that many values (red) when not 0
    } cases[] = {
        {"no Photometric", {}, 0, false, 0},
        {"two Photometric values", {0, 0}, 0, false, 0},
        {"strip arrays running past the end", {1}, 0x40000000, false, 0},
        {"zero byte count", {1}, 0, true, 0},
        {"palette whose ColorMap lacks values", {3}, 0, false, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder b;
        b.set(256, kShort, {4}).set(257, kShort, {3}).set(258, kShort, {8});
        if (!c.photometric.empty()) b.set(262, kShort, c.photometric);
        if (c.colour_map_values != 0)
            b.set(320, kShort, std::vector<uint32_t>(c.colour_map_values, 0xFFFF));
        b.strips_from_blocks();
        const std::vector<uint8_t> rows = gray_rows(4, 3);
        if (c.deflate_without_count) {
            std::vector<uint8_t> packed(compressBound(uLong(rows.size())));
            uLongf size = packed.size();
            compress2(packed.data(), &size, rows.data(), uLong(rows.size()), 9);
            packed.resize(size);
            b.set(259, kShort, {8}).add_block(packed);
        } else {
            b.set(278, kShort, {2});
            b.add_block({rows.begin(), rows.begin() + 8});
            b.add_block({rows.begin() + 8, rows.end()});
        }
        std::vector<uint8_t> file = b.build();
        if (c.strip_array_count != 0) {
            patch_entry(file, 273, 4, c.strip_array_count);
            patch_entry(file, 279, 4, c.strip_array_count);
        }
        if (c.deflate_without_count) patch_entry(file, 279, 8, 0);
        TTIFFGraphic graphic;
        load(graphic, file);
        EXPECT_FALSE(graphic.loaded_by_fallback());
        EXPECT_EQ(grays(graphic), gray_expected(4, 3));
    }
}

// A colour map whose values all stay below 256 was written with 8-bit values: taken as they
// are, as libtiff and the container take it; otherwise each value's high byte.
TEST(TiffStructure, ColourMapOfEightBitValuesIsTakenAsIs) {
    const struct {
        std::vector<uint32_t> map;  // red, green, blue of entries 0 and 1
        std::vector<int> shown;     // red, green, blue of pixels 0 and 1
    } cases[] = {
        {{10, 200, 20, 100, 30, 50}, {10, 20, 30, 200, 100, 50}},
        {{10, 0xC800, 20, 0x6400, 30, 0x3200}, {0, 0, 0, 200, 100, 50}},
    };
    for (const auto& c : cases) {
        TiffBuilder b = basic(2, 1, 1, 1, 3);
        b.set(320, kShort, c.map).add_block({0x40});  // pixels 0 and 1
        TTIFFGraphic graphic;
        load(graphic, b.build());
        const Picture rgb = bitmap_rgb(graphic);
        std::vector<int> shown;
        for (int x = 0; x < 2; ++x)
            for (int k = 0; k < 3; ++k) shown.push_back(rgb.at(x, 0, k));
        EXPECT_EQ(shown, c.shown);
    }
}

TEST(TiffStructure, NoStripOffsetsIsRefused) {
    TiffBuilder b = basic(4, 3, 8, 1, 1);
    b.add_block(gray_rows(4, 3));
    std::vector<uint8_t> file = b.build();
    patch_entry(file, 273, 4, 0);
    EXPECT_NE(load_error(file), "");
}

TEST(TiffStructure, BigEndianSixteenBitPredictorDifferencesWords) {
    // One row of 16-bit gray samples 0x01FF, 0x0201, 0x1000 stored as differences of words
    // (a byte-wise sum would carry nothing into the high bytes).
    TiffBuilder b(true);
    b.set(256, kShort, {3}).set(257, kShort, {1}).set(258, kShort, {16}).set(259, kShort, {32773});
    b.set(262, kShort, {1}).set(317, kShort, {2}).strips_from_blocks();
    b.add_block({5, 0x01, 0xFF, 0x00, 0x02, 0x0D, 0xFF});  // PackBits literal of 6 bytes
    TTIFFGraphic graphic;
    load(graphic, b.build());
    EXPECT_EQ(grays(graphic), (std::vector<std::vector<int>>{{0x01, 0x02, 0x10}}));
}

struct BadFile {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
    const char* message;  // empty: loads (possibly as an empty picture) without an error
};

std::vector<uint8_t> with_ifd_loop() {
    TiffBuilder b = basic(4, 3, 8, 1, 1);
    b.add_block(gray_rows(4, 3));
    return b.next_ifd(TiffBuilder::kFirstIfd).build();
}

const BadFile kBadFiles[] = {
    {"not_tiff",
     [] { return std::vector<uint8_t>{'P', '5', ' ', '1', ' ', '1', ' ', '2', '5', '5', ' ', 0}; },
     "Cannot load image. Invalid or unexpected TIF/TIFF image format."},
    {"ifd_outside",
     [] {
         std::vector<uint8_t> f = basic(4, 3, 8, 1, 1).build();
         f[4] = 0xF0, f[5] = 0xFF;
         return f;
     },
     "Cannot load image. Invalid or unexpected TIF/TIFF image format."},
    {"no_width", [] { return TiffBuilder().set(257, kShort, {3}).build(); },
     "Cannot load image. Invalid or unexpected TIF/TIFF image format."},
    {"unsupported_scheme",
     [] {
         TiffBuilder b = basic(4, 3, 8, 32766, 1);
         b.add_block({1, 2, 3});
         return b.build();
     },
     "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
    // The fax codings are bilevel and ThunderScan 4-bit, as libtiff holds them: a 324-byte
    // fax file of 8-bit samples was read as a 65535 x 2058 picture.
    {"fax_of_8_bit_samples",
     [] {
         TiffBuilder b = basic(4000, 3, 8, 3, 1);
         b.add_block({0x00, 0x01, 0xFF, 0xFF});
         return b.build();
     },
     "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
    {"thunderscan_of_8_bit_samples",
     [] {
         TiffBuilder b = basic(4, 3, 8, 32809, 1);
         b.add_block({0x00, 0x01, 0x02, 0x03});
         return b.build();
     },
     "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
    {"huge_declared_size",
     [] {
         TiffBuilder b = basic(60000, 60000, 8, 1, 1);
         b.add_block({1, 2, 3});
         return b.build();
     },
     "Cannot load image. The image size 60000 x 60000 is larger than the file can hold or the "
     "limit of 268435456 "
     "pixels allows."},
    // A ColorMap of more values than 8 bits index is ignored, as libtiff ignores it: gray.
    {"colormap_too_large",
     [] {
         TiffBuilder b = basic(4, 1, 8, 1, 3);
         b.set(320, kShort, std::vector<uint32_t>(3 * 300, 0x8000));
         b.add_block({0, 1, 2, 3});
         return b.build();
     },
     ""},
    {"strip_offsets_outside",
     [] {
         TiffBuilder b = basic(4, 3, 8, 32773, 1);
         b.set(273, kLong, {0x7FFFFFF0u, 0xFFFFFFFFu}).set(279, kLong, {0xFFFFFFFFu, 4});
         return b.build();
     },
     "Cannot load image. The image size 4 x 3 is larger than the file can hold or the limit of "
     "268435456 pixels allows."},
    {"tiled_nothing_readable",
     [] {
         TiffBuilder b = basic(4, 3, 8, 1, 1);
         b.set(322, kShort, {16}).set(323, kShort, {16});
         return b.build();
     },
     ""},
};

class HostileFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(HostileFiles, AreRefusedOrReadWithinTheFile) {
    EXPECT_EQ(load_error(GetParam().make()), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileFiles, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TiffStructure, DirectoryChainThatLoopsEnds) {
    const std::vector<uint8_t> file = with_ifd_loop();
    TTIFFGraphic graphic;
    toolkit::Stream stream(file);
    EXPECT_TRUE(graphic.read_image_info(stream, 0));
    EXPECT_FALSE(graphic.read_image_info(stream, 1));
    EXPECT_FALSE(graphic.read_image_info(stream, 100));
    load(graphic, file);
    EXPECT_EQ(grays(graphic), gray_expected(4, 3));
}

TEST(TiffStructure, HeaderCheckLeavesThePositionAlone) {
    const std::vector<uint8_t> file = with_ifd_loop();
    std::vector<uint8_t> shifted(3, 0);
    shifted.insert(shifted.end(), file.begin(), file.end());
    TTIFFGraphic graphic;
    toolkit::Stream stream(shifted);
    EXPECT_FALSE(graphic.can_load_stream(stream));
    stream.seek(3);
    EXPECT_TRUE(graphic.can_load_stream(stream));
    EXPECT_EQ(stream.position(), 3u);
    graphic.LoadFromStream(stream);  // offsets count from the position loading starts at
    EXPECT_EQ(grays(graphic), gray_expected(4, 3));
}

TEST(TiffStructure, ProgressReportsEveryRow) {
    TiffBuilder b = basic(4, 3, 8, 1, 1);
    b.add_block(gray_rows(4, 3));
    TTIFFGraphic graphic;
    std::vector<toolkit::ProgressEvent> events;
    graphic.on_progress = [&](const toolkit::ProgressEvent& e) { events.push_back(e); };
    load(graphic, b.build());
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].stage, toolkit::ProgressStage::Starting);
    EXPECT_EQ(events[0].text, "Loading data...");
    EXPECT_EQ(events[1].percent, 33);
    EXPECT_EQ(events[3].percent, 100);
    EXPECT_EQ(events[4].stage, toolkit::ProgressStage::Ending);
}

}  // namespace
}  // namespace quorvel::readers::test
