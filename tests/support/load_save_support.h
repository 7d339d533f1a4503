// What the load and save tests share: pictures in and out of bitmap handles, third-party
// decoding (ImageMagick, Pillow) into RGB pictures, and picture comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <quorvel/quorvel.h>

#include "support/picture_convert.h"
#include "support/test_support.h"

namespace quorvel::testing {

// A 24-bit bitmap handle as an RGB picture (top row first); empty for a handle that is not a
// live DIB section.
inline Picture handle_picture(HBITMAP bitmap) {
    DIBSECTION section{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof section, &section) != int(sizeof section))
        return {};
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
    Picture out{section.dsBm.bmWidth, section.dsBm.bmHeight, 3, {}};
    out.samples.resize(size_t(out.width) * out.height * 3);
    const bool top_down = section.dsBmih.biHeight < 0;
    for (int y = 0; y < out.height; ++y) {
        const auto* row = static_cast<const uint8_t*>(section.dsBm.bmBits) +
                          size_t(top_down ? y : out.height - 1 - y) * section.dsBm.bmWidthBytes;
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.samples[(size_t(y) * out.width + x) * 3 + c] = row[3 * x + 2 - c];
    }
    return out;
}

// A new 24-bit DIB section showing an RGB picture; the caller deletes it.
inline HBITMAP make_section(const Picture& rgb) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = rgb.width;
    info.bmiHeader.biHeight = rgb.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const size_t stride = (size_t(rgb.width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x)
            for (int c = 0; c < 3; ++c)
                static_cast<uint8_t*>(bits)[size_t(rgb.height - 1 - y) * stride + 3 * x + 2 - c] =
                    rgb.at(x, y, c);
    return bitmap;
}

// Smooth colours that change differently in every channel along both axes, so a flipped,
// shifted or channel-swapped image differs.
inline Picture colour_pattern(int width, int height) {
    Picture p{width, height, 3, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* o = &p.samples[(size_t(y) * width + x) * 3];
            o[0] = uint8_t(x * 255 / std::max(1, width - 1));
            o[1] = uint8_t(y * 255 / std::max(1, height - 1));
            o[2] = uint8_t((x + 2 * y) * 255 / std::max(1, width - 1 + 2 * (height - 1)));
        }
    return p;
}

// ImageMagick's decoding of a file (frame `frame` of a multi-image file), as RGB.
inline Picture magick_rgb(const std::string& path, int frame = 0) {
    const std::string out = path + ".magick.ppm";
    EXPECT_EQ(run("convert " + quoted(path + "[" + std::to_string(frame) + "]") + " -depth 8 " +
                  quoted("ppm:" + out)),
              0)
        << path;
    return normalised(read_pnm(out));
}

// Pillow's decoding of a file, as RGB.
inline Picture pillow_rgb(const std::string& path) {
    const std::string out = path + ".pil.ppm";
    EXPECT_EQ(run("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                  "Image.open(sys.argv[1]).convert('RGB')"
                  ".save(sys.argv[2], 'PPM')\" " +
                  quoted(path) + " " + quoted(out)),
              0)
        << path;
    return normalised(read_pnm(out));
}

inline int max_difference(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.samples.size() != b.samples.size())
        return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.samples.size(); ++i)
        worst = std::max(worst, std::abs(a.samples[i] - b.samples[i]));
    return worst;
}

inline double psnr(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.samples.size() != b.samples.size())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.samples.size(); ++i)
        sum += std::pow(double(a.samples[i]) - b.samples[i], 2);
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(a.samples.size()) / sum);
}

inline HBITMAP load(const std::string& path) {
    return CreateBMPFromFile(const_cast<char*>(path.c_str()));
}
inline void save(HBITMAP bitmap, const std::string& path, int type) {
    EXPECT_EQ(SaveBMPToFile(bitmap, const_cast<char*>(path.c_str()), type), 1);
}

}  // namespace quorvel::testing
