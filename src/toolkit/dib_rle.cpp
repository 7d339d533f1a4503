// RLE8 and RLE4 rows of Windows bitmaps: runs, literal groups padded to 16 bits, and the
// end-of-line, end-of-bitmap and delta escapes.
#include "toolkit/dib.h"

#include <algorithm>

#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit::dib {
namespace {

enum Escape : uint8_t { kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2 };

class RleTarget {
public:
    RleTarget(int width, int height)
        : width_(width), height_(height), pixels_(size_t(width) * size_t(height), 0) {}

    // Pixels past the row's end are cut; the position stops at the edge, so no number of
    // codes can carry it past the image.
    void put(uint8_t index) {
        if (x_ >= width_ || y_ >= height_) return;
        pixels_[size_t(y_) * width_ + x_] = index;
        ++x_;
    }
    void end_line() {
        x_ = 0;
        y_ = std::min(y_ + 1, height_);
    }
    void move(int dx, int dy) {
        x_ = std::min(x_ + dx, width_);
        y_ = std::min(y_ + dy, height_);
    }
    bool full() const { return y_ >= height_; }
    std::vector<uint8_t> take() { return std::move(pixels_); }

private:
    int width_, height_;
    int x_ = 0, y_ = 0;
    std::vector<uint8_t> pixels_;
};

uint8_t nibble(uint8_t byte, int i, bool rle4) {
    if (!rle4) return byte;
    return i % 2 == 0 ? byte >> 4 : byte & 15;
}

// A literal group of `count` pixels at `pos`; false when the bytes end inside it.
bool literal(std::span<const uint8_t> d, size_t& pos, int count, bool rle4, RleTarget& target) {
    const size_t bytes = rle4 ? (size_t(count) + 1) / 2 : size_t(count);
    if (pos + bytes > d.size()) return false;
    for (int i = 0; i < count; ++i) target.put(nibble(d[pos + (rle4 ? i / 2 : i)], i, rle4));
    pos += bytes + (bytes & 1);
    return true;
}

}  // namespace

std::vector<uint8_t> decode_rle(std::span<const uint8_t> d, int width, int height, bool rle4) {
    RleTarget target(width, height);
    size_t pos = 0;
    while (!target.full()) {
        // Data that stops before the end-of-bitmap code and before the last row is a cut file.
        if (pos + 2 > d.size()) throw EInvalidGraphic("Bitmap image is not valid");
        const uint8_t count = d[pos], value = d[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) target.put(nibble(value, i, rle4));
        } else if (value == kEndOfLine) {
            target.end_line();
        } else if (value == kEndOfBitmap) {
            break;
        } else if (value == kDelta) {
            if (pos + 2 > d.size()) throw EInvalidGraphic("Bitmap image is not valid");
            target.move(d[pos], d[pos + 1]);
            pos += 2;
        } else if (!literal(d, pos, value, rle4, target)) {
            throw EInvalidGraphic("Bitmap image is not valid");
        }
    }
    return target.take();
}

}  // namespace quorvel::toolkit::dib
