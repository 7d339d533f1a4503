// Helpers for the container codec tests: a self-releasing record, conversion of a record to a
// top-down picture for comparison with what third-party tools decode, byte builders for
// hand-made files, and a bounded mutation run for the readers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "raster/bmg_image.h"
#include "raster/codecs/codecs.h"
#include "support/image_record.h"
#include "support/picture_convert.h"
#include "support/test_support.h"

namespace quorvel::codec_test {

using raster::BMGError;
using raster::BMGImage;
using testing::normalised;
using testing::Picture;

using Record = testing::ImageRecord;

// A file name given as a template argument, so each codec's fixture keeps its own file.
template <size_t N>
struct FileName {
    constexpr FileName(const char (&name)[N]) { std::copy_n(name, N, text); }
    char text[N];
};

// A temporary folder and the one file in it that a codec test writes and reads back.
template <FileName Name>
class CodecFile : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string path = dir.file(Name.text);
};

inline const uint8_t* row_of(const BMGImage& img, uint32_t y) {
    return img.pixels + static_cast<size_t>(y) * img.rowBytes;
}

inline uint8_t index_at(const BMGImage& img, uint32_t x, uint32_t y) {
    return static_cast<uint8_t>(testing::record_index(img, row_of(img, y), x));
}

// The record as a top-down picture: RGB, or RGBA when `alpha` and the image has 32 bits.
inline Picture to_picture(const BMGImage& img, bool alpha = false) {
    Picture p;
    p.width = static_cast<int>(img.width);
    p.height = static_cast<int>(img.height);
    p.channels = alpha && img.bitsPerPixel == 32 ? 4 : 3;
    p.samples.resize(static_cast<size_t>(p.width) * p.height * p.channels);
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* row = row_of(img, img.height - 1 - y);
        for (uint32_t x = 0; x < img.width; ++x) {
            uint8_t bgra[4] = {0, 0, 0, 255};
            if (img.bitsPerPixel <= 8) {
                const uint8_t i = index_at(img, x, img.height - 1 - y);
                if (i < img.paletteSize)
                    std::memcpy(bgra, img.palette + i * img.paletteEntryBytes, 3);
            } else if (img.bitsPerPixel == 16) {
                const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
                bgra[0] = (v & 31) * 8;
                bgra[1] = ((v >> 5) & 31) * 8;
                bgra[2] = ((v >> 10) & 31) * 8;
            } else {
                std::memcpy(bgra, row + x * (img.bitsPerPixel / 8), img.bitsPerPixel / 8);
            }
            uint8_t* out = &p.samples[(static_cast<size_t>(y) * p.width + x) * p.channels];
            out[0] = bgra[2];
            out[1] = bgra[1];
            out[2] = bgra[0];
            if (p.channels == 4) out[3] = bgra[3];
        }
    }
    return p;
}

// Same size and samples; reports the first differing pixel.
inline ::testing::AssertionResult same_pixels(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels)
        return ::testing::AssertionFailure()
               << "size " << a.width << "x" << a.height << "x" << a.channels << " vs " << b.width
               << "x" << b.height << "x" << b.channels;
    for (size_t i = 0; i < a.samples.size(); ++i)
        if (a.samples[i] != b.samples[i]) {
            const size_t pixel = i / a.channels;
            return ::testing::AssertionFailure()
                   << "pixel (" << pixel % a.width << "," << pixel / a.width << ") channel "
                   << i % a.channels << ": " << int(a.samples[i]) << " vs " << int(b.samples[i]);
        }
    return ::testing::AssertionSuccess();
}

// A picture with smooth ramps and a few hard edges, so that flips and channel swaps show.
inline Picture pattern(int width, int height, int channels, int colours = 0) {
    Picture p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.samples.resize(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                int v = (x * 255 / std::max(1, width - 1) + c * 85 + (y * 7 + c * 31) % 64) % 256;
                if (c == 3) v = (x + y * 3) % 4 == 0 ? 0 : 128 + (x * 5 + y) % 128;
                if (colours > 0)
                    v = (((x / 3 + y / 2 + c) % colours) * 255) / std::max(1, colours - 1);
                p.samples[(static_cast<size_t>(y) * width + x) * channels + c] =
                    static_cast<uint8_t>(v);
            }
    return p;
}

// Decoders run through the shell; each writes the picture to `out` as a netpbm file.
inline std::string sh_quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline Picture magick_decode(const std::string& file, const std::string& out, bool alpha = false) {
    const std::string target = (alpha ? "pam:" : "ppm:") + out;
    EXPECT_EQ(testing::run("convert " + sh_quote(file) + " -depth 8 " + sh_quote(target) +
                           " 2>/dev/null"),
              0);
    return testing::read_pnm(out);
}

inline Picture pillow_decode(const std::string& file, const std::string& out, bool alpha = false) {
    const std::string script =
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('" +
        std::string(alpha ? "RGBA" : "RGB") +
        "')\nh = b'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH %d\\nMAXVAL 255\\nTUPLTYPE %s\\nENDHDR\\n' % "
        "(im.size[0], im.size[1], len(im.mode), b'RGB_ALPHA' if len(im.mode) == 4 else b'RGB')\n"
        "open(sys.argv[2], 'wb').write(h + im.tobytes())\n";
    testing::write_file(out + ".py", std::vector<uint8_t>(script.begin(), script.end()));
    EXPECT_EQ(testing::run("/usr/bin/python3 " + sh_quote(out + ".py") + " " + sh_quote(file) +
                           " " + sh_quote(out)),
              0);
    return testing::read_pnm(out);
}

// Little- and big-endian byte builders for hand-made files.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(unsigned v) {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes& le16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& le32(uint32_t v) { return le16(v & 0xFFFF).le16(v >> 16); }
    Bytes& be16(unsigned v) { return u8(v >> 8).u8(v); }
    Bytes& be32(uint32_t v) { return be16(v >> 16).be16(v & 0xFFFF); }
    Bytes& text(const char* s) {
        while (*s) u8(static_cast<uint8_t>(*s++));
        return *this;
    }
    Bytes& fill(size_t n, uint8_t v) {
        b.insert(b.end(), n, v);
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    size_t size() const { return b.size(); }
};

using Reader = BMGError (*)(const char*, BMGImage*);

// Reads `bytes` through `reader` from `path`; the record is left for the caller to inspect.
inline BMGError read_bytes(Reader reader, const std::string& path,
                           const std::vector<uint8_t>& bytes, Record& rec) {
    testing::write_file(path, bytes);
    return reader(path.c_str(), &rec.img);
}

// Truncates and flips bytes of a valid file, with a fixed seed, and reads every variant. The
// sanitizer build catches stray accesses; here every failure must leave the record released
// and the code recorded as the last error (the WSQ adapter, whose codes are its own, records
// none: `records_error` false).
inline void mutation_run(Reader reader, const std::string& path, const std::vector<uint8_t>& valid,
                         uint32_t seed, int rounds, bool records_error = true) {
    std::mt19937 random(seed);
    auto check = [&](const std::vector<uint8_t>& bytes, const char* kind, int round) {
        Record rec;
        const BMGError e = read_bytes(reader, path, bytes, rec);
        if (e != raster::BMG_OK) {
            EXPECT_EQ(rec.img.pixels, nullptr) << kind << " " << round;
            EXPECT_EQ(rec.img.palette, nullptr) << kind << " " << round;
            if (records_error) {
                EXPECT_EQ(raster::GetLastImageError(), e) << kind << " " << round;
            }
        } else {
            EXPECT_NE(rec.img.pixels, nullptr) << kind << " " << round;
        }
    };
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> cut(valid.begin(), valid.begin() + random() % valid.size());
        check(cut, "truncated", round);
        std::vector<uint8_t> flipped = valid;
        const int flips = 1 + random() % 4;
        for (int i = 0; i < flips; ++i) {
            // Headers hold most of the structure: aim half of the flips at the first 64 bytes.
            const size_t span = (random() % 2) ? std::min<size_t>(64, valid.size()) : valid.size();
            flipped[random() % span] ^= static_cast<uint8_t>(1 + random() % 255);
        }
        check(flipped, "flipped", round);
    }
}

// Source pictures: odd sizes, so row padding and odd widths show.
struct Sources {
    explicit Sources(const testing::TempDir& dir)
        : rgb(dir.file("rgb.ppm")),
          few(dir.file("few.ppm")),
          gray(dir.file("gray.pgm")),
          rgba(dir.file("rgba.pam")),
          rgbaPng(dir.file("rgba.png")),
          two(dir.file("two.pgm")),
          sixteen(dir.file("sixteen.ppm")) {
        testing::write_pnm(rgb, pattern(23, 13, 3));
        testing::write_pnm(few, pattern(23, 13, 3, 4));
        testing::write_pnm(gray, pattern(23, 13, 1));
        testing::write_pnm(rgba, pattern(23, 13, 4));
        testing::write_pnm(two, pattern(23, 13, 1, 2));
        testing::write_pnm(sixteen, pattern(23, 13, 3, 16));
        // Pillow 9.4 reads no PAM: it gets the alpha picture as PNG.
        EXPECT_EQ(testing::run("convert " + sh_quote(rgba) + " " + sh_quote(rgbaPng)), 0);
    }
    std::string rgb, few, gray, rgba, rgbaPng, two, sixteen;
};

enum class Decoder { Netpbm, Magick, Pillow };

struct ToolFile {
    std::string label;
    std::string command;  // writes the file named by $OUT from the source named by $IN
    std::string source;
    Decoder decoder;
    bool alpha = false;
    int indexBits = 0;  // depth the record must have, when the case pins it
};

inline Picture decode(Decoder decoder, const std::string& file, const std::string& netpbmCmd,
                      const std::string& out, bool alpha) {
    if (decoder == Decoder::Magick) return magick_decode(file, out, alpha);
    if (decoder == Decoder::Pillow) return pillow_decode(file, out, alpha);
    EXPECT_EQ(
        testing::run(netpbmCmd + " " + sh_quote(file) + " > " + sh_quote(out) + " 2>/dev/null"), 0);
    return testing::read_pnm(out);
}

// Runs a writing tool's command with $IN set to `source` and $OUT to `file`; true on success.
inline bool write_with_tool(const std::string& command, const std::string& source,
                            const std::string& file) {
    return testing::run("IN=" + sh_quote(source) + " OUT=" + sh_quote(file) + " sh -c " +
                        sh_quote(command) + " 2>/dev/null") == 0;
}

inline void read_tool_files(const testing::TempDir& dir, const std::vector<ToolFile>& files,
                            Reader reader, const std::string& extension,
                            const std::string& netpbmDecoder) {
    for (const ToolFile& f : files) {
        SCOPED_TRACE(f.label);
        const std::string file = dir.file("tool." + extension);
        ASSERT_TRUE(write_with_tool(f.command, f.source, file)) << f.command;
        Record rec(1);
        ASSERT_EQ(reader(file.c_str(), &rec.img), raster::BMG_OK);
        const Picture expected =
            decode(f.decoder, file, netpbmDecoder, dir.file("expected.pam"), f.alpha);
        if (f.indexBits != 0) {
            EXPECT_EQ(rec->bitsPerPixel, f.indexBits);
        }
        EXPECT_TRUE(same_pixels(to_picture(rec.img, f.alpha), normalised(expected, f.alpha)));
    }
}

inline std::string pillow_save(const std::string& mode, const std::string& options,
                               int colours = 200) {
    return "/usr/bin/python3 -c \"import os; from PIL import Image; im = "
           "Image.open(os.environ['IN']).convert('" +
           mode + "'" +
           (mode == "P" ? ", palette=Image.ADAPTIVE, colors=" + std::to_string(colours) : "") +
           "); im.save(os.environ['OUT']" + options + ")\"";
}

}  // namespace quorvel::codec_test
