// Drawing Paint Shop Pro layers onto the picture: colour layers blended normally (the layer's
// opacity times its transparency mask) over straight-alpha blue, green, red, alpha rows, and
// the single layer of an indexed or gray image placed on its index plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quorvel::readers {

// One plane of a layer: rows of `stride` bytes over the layer's saved rectangle; `size` bytes
// are there (rows past them are not drawn).
struct LayerPlane {
    const uint8_t* bytes = nullptr;
    size_t size = 0, stride = 0;
};

// A layer's saved rectangle on the canvas and what is drawn of it.
struct LayerArea {
    int64_t left = 0, top = 0, width = 0, height = 0;
    uint8_t opacity = 255;
};

// The canvas: `width` x `height` rows given by `row`.
struct Canvas {
    int width = 0, height = 0;
    std::function<uint8_t*(int)> row;
};

// Blends red, green and blue planes (and the transparency mask when `mask.bytes` is set, 0
// transparent to 255 opaque) over BGRA canvas rows, clipped to the canvas; a plane without
// bytes reads as zeros.
void blend_colour_layer(const LayerArea& area, const LayerPlane (&rgb)[3], const LayerPlane& mask,
                        const Canvas& canvas);

// Copies an index plane of `bits` per pixel onto canvas rows of the same depth, clipped; a
// layer whose left edge falls inside a byte is placed at the row start.
void place_index_layer(const LayerArea& area, const LayerPlane& plane, unsigned bits,
                       const Canvas& canvas);

}  // namespace quorvel::readers
