// Helpers for the extended readers' format tests: loading bytes through a reader class,
// the loaded bitmap as a top-down RGB(A) picture, and a table of tool-made files checked
// against the tool's own decoding.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "readers/graphic_ex.h"
#include "support/codec_test_helpers.h"
#include "toolkit/graphic.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::readers_test {

using codec_test::Bytes;
using codec_test::Decoder;
using codec_test::Picture;
using codec_test::sh_quote;

// The loaded bitmap as RGB (or RGBA from a 32-bit bitmap when `alpha`), top row first.
inline Picture bitmap_picture(toolkit::Bitmap& bitmap, bool alpha) {
    bitmap.set_pixel_format(alpha ? toolkit::PixelFormat::Bit32 : toolkit::PixelFormat::Bit24);
    Picture p;
    p.width = bitmap.width();
    p.height = bitmap.height();
    p.channels = alpha ? 4 : 3;
    const int n = alpha ? 4 : 3;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = bitmap.scanline(y);
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* q = row + x * n;
            p.samples.insert(p.samples.end(), {q[2], q[1], q[0]});
            if (alpha) p.samples.push_back(q[3]);
        }
    }
    return p;
}

// A fresh reader of the class loaded with `bytes`; throws what the reader throws.
inline std::unique_ptr<toolkit::Graphic> load(const toolkit::GraphicClass& cls,
                                              const std::vector<uint8_t>& bytes) {
    std::unique_ptr<toolkit::Graphic> g = cls.make();
    toolkit::Stream stream(bytes);
    g->LoadFromStream(stream);
    return g;
}

inline Picture load_picture(const toolkit::GraphicClass& cls, const std::vector<uint8_t>& bytes,
                            bool alpha = false) {
    auto g = load(cls, bytes);
    return bitmap_picture(dynamic_cast<toolkit::Bitmap&>(*g), alpha);
}

// A file one tool writes from a source picture, decoded by a tool for comparison.
struct ToolCase {
    std::string label;
    std::string command;  // writes $OUT from $IN
    std::string source;
    Decoder decoder;
    bool alpha = false;
};

inline void check_tool_files(const testing::TempDir& dir, const std::vector<ToolCase>& cases,
                             const toolkit::GraphicClass& cls, const std::string& extension) {
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string file = dir.file("tool." + extension);
        ASSERT_TRUE(codec_test::write_with_tool(c.command, c.source, file)) << c.command;
        const Picture expected =
            codec_test::decode(c.decoder, file, "", dir.file("expected.pam"), c.alpha);
        Picture got;
        ASSERT_NO_THROW(got = load_picture(cls, testing::read_file(file), c.alpha));
        EXPECT_TRUE(codec_test::same_pixels(got, expected));
    }
}

// The message a load fails with, empty when it succeeds.
inline std::string load_error(const toolkit::GraphicClass& cls, const std::vector<uint8_t>& bytes) {
    try {
        load(cls, bytes);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace quorvel::readers_test
