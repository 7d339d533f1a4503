#include "readers/formats/psp_compose.h"

#include <algorithm>

namespace quorvel::readers {
namespace {

// Source over destination, straight alpha: `alpha` of the colour `rgb` over the BGRA pixel.
void over(uint8_t* bgra, const uint8_t (&rgb)[3], unsigned alpha) {
    if (alpha == 0) return;
    const unsigned below = bgra[3];
    const unsigned kept = below * (255 - alpha);  // what shows of the pixel below, times 255
    const unsigned out = alpha + (kept + 127) / 255;
    for (int c = 0; c < 3; ++c) {
        const unsigned sum = rgb[c] * alpha * 255 + bgra[2 - c] * kept;
        bgra[2 - c] = static_cast<uint8_t>((sum + out * 255 / 2) / (out * 255));
    }
    bgra[3] = static_cast<uint8_t>(out);
}

// Byte `x` of layer row `y` of a plane, or 0 where the plane's bytes end (or it has none).
uint8_t sample(const LayerPlane& p, int64_t x, int64_t y) {
    const size_t at = static_cast<size_t>(y) * p.stride + static_cast<size_t>(x);
    return p.bytes != nullptr && at < p.size ? p.bytes[at] : 0;
}

// A row the plane's bytes hold in full; a plane the layer lacks reads as zeros.
bool row_present(const LayerPlane& p, int64_t y) {
    return p.bytes == nullptr || (static_cast<size_t>(y) + 1) * p.stride <= p.size;
}

}  // namespace

void blend_colour_layer(const LayerArea& area, const LayerPlane (&rgb)[3], const LayerPlane& mask,
                        const Canvas& canvas) {
    const int64_t x0 = std::max<int64_t>(0, area.left),
                  x1 = std::min<int64_t>(canvas.width, area.left + area.width);
    for (int64_t y = 0; y < area.height; ++y) {
        const int64_t row = area.top + y;
        if (row < 0 || row >= canvas.height || !row_present(rgb[0], y) || !row_present(rgb[1], y) ||
            !row_present(rgb[2], y))
            continue;
        uint8_t* out = canvas.row(static_cast<int>(row));
        for (int64_t x = x0; x < x1; ++x) {
            const int64_t lx = x - area.left;
            const uint8_t colour[3] = {sample(rgb[0], lx, y), sample(rgb[1], lx, y),
                                       sample(rgb[2], lx, y)};
            const unsigned coverage = mask.bytes != nullptr ? sample(mask, lx, y) : 255u;
            over(out + x * 4, colour, (coverage * area.opacity + 127) / 255);
        }
    }
}

void place_index_layer(const LayerArea& area, const LayerPlane& plane, unsigned bits,
                       const Canvas& canvas) {
    const size_t canvas_row = (static_cast<size_t>(canvas.width) * bits + 7) / 8;
    const size_t layer_row = (static_cast<size_t>(area.width) * bits + 7) / 8;
    const bool aligned = area.left >= 0 && (area.left * bits) % 8 == 0;
    const size_t left = aligned ? static_cast<size_t>(area.left) * bits / 8 : 0;
    if (left >= canvas_row) return;
    const size_t count = std::min(layer_row, canvas_row - left);
    for (int64_t y = 0; y < area.height; ++y) {
        const int64_t row = area.top + y;
        if (row < 0 || row >= canvas.height || !row_present(plane, y)) continue;
        std::copy_n(plane.bytes + static_cast<size_t>(y) * plane.stride, count,
                    canvas.row(static_cast<int>(row)) + left);
    }
}

}  // namespace quorvel::readers
