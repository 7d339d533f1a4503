// The colour manager's messages and the groupings of colour models its selection rules use.
#pragma once

#include "readers/image_info.h"

namespace quorvel::readers::colour {

inline constexpr const char* gesInvalidColorDepth =
    "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
inline constexpr const char* gesInvalidSampleCount =
    "Sample count per pixel does not correspond to the given color scheme.";
inline constexpr const char* gesIndexedNotSupported =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
inline constexpr const char* gesConversionUnsupported =
    "Color conversion failed. Could not find a proper method.";

// Models whose pixels are one index or gray level (the alpha of gray with alpha is dropped).
inline bool is_indexed_kind(ColorModel model) {
    return model == cmIndexed || model == cmGray || model == cmGrayAlpha;
}
inline bool has_alpha_model(ColorModel model) {
    return model == cmGrayAlpha || model == cmRGBA || model == cmBGRA;
}
inline bool is_rgb_kind(ColorModel model) { return model == cmRGB || model == cmRGBA; }
inline bool is_bgr_kind(ColorModel model) { return model == cmBGR || model == cmBGRA; }

}  // namespace quorvel::readers::colour
