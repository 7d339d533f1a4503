// Helpers shared by the PNG, TIFF and JPEG tests: a BMGImage seen as a top-down RGBA picture,
// pictures of test patterns, records built from pictures, and third-party decoding into pictures.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "raster/bmg_image.h"
#include "support/picture_convert.h"
#include "support/test_support.h"

namespace quorvel::testing {

// The record as the picture it shows, top row first, red, green, blue, alpha.
inline Picture record_picture(const raster::BMGImage& img) {
    Picture out{static_cast<int>(img.width), static_cast<int>(img.height), 4, {}};
    out.samples.resize(static_cast<size_t>(img.width) * img.height * 4);
    for (uint32_t y = 0; y < img.height; ++y) {
        const uint8_t* row = img.pixels + static_cast<size_t>(img.height - 1 - y) * img.rowBytes;
        for (uint32_t x = 0; x < img.width; ++x) {
            uint8_t* o = &out.samples[(static_cast<size_t>(y) * img.width + x) * 4];
            o[3] = 255;
            if (img.bitsPerPixel <= 8) {
                const unsigned index = record_index(img, row, x);
                EXPECT_LT(index, img.paletteSize) << "index past the palette at " << x << "," << y;
                if (index >= img.paletteSize) continue;
                const uint8_t* entry = img.palette + index * img.paletteEntryBytes;
                o[0] = entry[2], o[1] = entry[1], o[2] = entry[0];
            } else if (img.bitsPerPixel == 16) {
                const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
                o[0] = ((v >> 10) & 31) * 8, o[1] = ((v >> 5) & 31) * 8, o[2] = (v & 31) * 8;
            } else {
                const uint8_t* p = row + x * (img.bitsPerPixel / 8);
                o[0] = p[2], o[1] = p[1], o[2] = p[0];
                if (img.bitsPerPixel == 32) o[3] = p[3];
            }
        }
    }
    return out;
}

// Largest difference of any sample between two RGBA pictures (alpha only when asked); 999
// when their sizes differ.
inline int max_difference(const Picture& a, const Picture& b, bool with_alpha = true) {
    if (a.width != b.width || a.height != b.height || a.channels != 4 || b.channels != 4)
        return 999;
    int largest = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        if (!with_alpha && i % 4 == 3) continue;
        const int d = std::abs(int{a.samples[i]} - int{b.samples[i]});
        if (d > largest) largest = d;
    }
    return largest;
}

// A deterministic picture with gradients, edges and a few flat areas.
inline Picture pattern(int width, int height, int channels, unsigned seed = 1) {
    Picture p{width, height, channels, {}};
    p.samples.resize(static_cast<size_t>(width) * height * channels);
    unsigned state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                state = state * 1103515245u + 12345u;
                int v = (x * 255 / (width > 1 ? width - 1 : 1) + y * 37 * (c + 1) + c * 85) & 255;
                if ((x / 4 + y / 3) % 5 == 0) v = (state >> 16) & 255;
                if (c == 3 && channels == 4) v = (x * 7 + y * 13) % 256;
                p.samples[(static_cast<size_t>(y) * width + x) * channels + c] =
                    static_cast<uint8_t>(v);
            }
    return p;
}

// A record of the given depth holding an RGBA picture (24 or 32 bits), allocated by the
// container's allocator with the given layout.
inline raster::BMGImage record_from(const Picture& rgba, uint8_t bits, int dib_layout = 1) {
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.width = static_cast<uint32_t>(rgba.width);
    img.height = static_cast<uint32_t>(rgba.height);
    img.bitsPerPixel = bits;
    img.dibLayout = dib_layout;
    EXPECT_EQ(raster::AllocateImageRecord(&img), raster::BMG_OK);
    for (uint32_t y = 0; y < img.height; ++y) {
        uint8_t* row = img.pixels + static_cast<size_t>(img.height - 1 - y) * img.rowBytes;
        for (uint32_t x = 0; x < img.width; ++x) {
            uint8_t* p = row + x * (bits / 8);
            p[0] = rgba.at(x, y, 2), p[1] = rgba.at(x, y, 1), p[2] = rgba.at(x, y, 0);
            if (bits == 32) p[3] = rgba.at(x, y, 3);
        }
    }
    return img;
}

// An indexed record: `indexes` top-down, one per pixel; palette entries blue, green, red.
inline raster::BMGImage indexed_record(int width, int height, uint8_t bits,
                                       const std::vector<uint8_t>& indexes,
                                       const std::vector<std::array<uint8_t, 3>>& palette_bgr,
                                       int dib_layout = 1) {
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.width = static_cast<uint32_t>(width);
    img.height = static_cast<uint32_t>(height);
    img.bitsPerPixel = bits;
    img.dibLayout = dib_layout;
    img.paletteSize = static_cast<uint16_t>(palette_bgr.size());
    EXPECT_EQ(raster::AllocateImageRecord(&img), raster::BMG_OK);
    for (size_t i = 0; i < palette_bgr.size(); ++i)
        std::memcpy(img.palette + i * img.paletteEntryBytes, palette_bgr[i].data(), 3);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = img.pixels + static_cast<size_t>(height - 1 - y) * img.rowBytes;
        for (int x = 0; x < width; ++x) {
            const size_t bit = static_cast<size_t>(x) * bits;
            row[bit / 8] |= static_cast<uint8_t>(indexes[static_cast<size_t>(y) * width + x]
                                                 << (8 - bits - bit % 8));
        }
    }
    return img;
}

// Damaged copies of a good file, the same for every run: bytes overwritten at random places
// (header fields included), runs set to 0xFF or 0, and cuts at random lengths.
inline std::vector<std::vector<uint8_t>> damaged_copies(const std::vector<uint8_t>& good, int count,
                                                        unsigned seed) {
    std::vector<std::vector<uint8_t>> out;
    unsigned state = seed;
    const auto next = [&state](size_t bound) {
        state = state * 1664525u + 1013904223u;
        return bound ? (state >> 8) % bound : 0;
    };
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> copy = good;
        switch (i % 4) {
            case 0:  // a few bytes anywhere
                for (int k = 0; k < 1 + i % 5; ++k)
                    copy[next(copy.size())] = static_cast<uint8_t>(next(256));
                break;
            case 1:  // a byte of the first 160, where the headers are
                copy[next(copy.size() < 160 ? copy.size() : 160)] ^=
                    static_cast<uint8_t>(1 + next(255));
                break;
            case 2: {  // a run of 0xFF or 0
                const size_t at = next(copy.size()), length = 1 + next(6);
                for (size_t k = at; k < at + length && k < copy.size(); ++k)
                    copy[k] = i % 8 < 4 ? 0xFF : 0;
                break;
            }
            default:  // cut short
                copy.resize(next(copy.size()));
        }
        out.push_back(std::move(copy));
    }
    return out;
}

// ImageMagick's reading of a file, as RGBA (8 bits a sample).
inline Picture magick_decode(const std::string& path, const std::string& scratch,
                             const std::string& options = "") {
    const std::string pam = scratch + ".ref.pam";
    EXPECT_EQ(run("convert " + quoted(path) + " " + options + " -depth 8 pam:" + quoted(pam)), 0)
        << path;
    return normalised(read_pnm(pam), true);
}

// Pillow's reading of a file, as RGBA.
inline Picture pillow_decode(const std::string& path, const std::string& scratch) {
    const std::string pam = scratch + ".pil.pam";
    const std::string script =
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('RGBA')\n"
        "open(sys.argv[2], 'wb').write(b'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH 4\\nMAXVAL 255\\n"
        "TUPLTYPE RGB_ALPHA\\nENDHDR\\n' % im.size + im.tobytes())\n";
    const std::string script_path = scratch + ".decode.py";
    write_file(script_path, std::vector<uint8_t>(script.begin(), script.end()));
    EXPECT_EQ(
        run("/usr/bin/python3 " + quoted(script_path) + " " + quoted(path) + " " + quoted(pam)), 0)
        << path;
    return read_pnm(pam);
}

// Runs a Python program with Pillow (Debian's interpreter, which has it).
inline int run_pillow(const std::string& program, const std::string& scratch) {
    const std::string script_path = scratch + ".make.py";
    const std::string text = "from PIL import Image\n" + program + "\n";
    write_file(script_path, std::vector<uint8_t>(text.begin(), text.end()));
    return run("/usr/bin/python3 " + quoted(script_path));
}

}  // namespace quorvel::testing
