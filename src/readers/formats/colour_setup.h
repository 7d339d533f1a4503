// How the readers of single files set up their colour manager: the source side as the file
// stores its samples, the target side as the bitmap formats can hold them.
#pragma once

#include <cstdint>

#include "readers/colour/color_manager.h"
#include "readers/image_info.h"

namespace quorvel::readers {

// Indexed and gray targets keep their depth in a bitmap format (1, 4 or 8 bits, so that a
// 2-bit source gets a 16-entry palette its re-packed values fit); colour goes to 8-bit BGR,
// or BGRA when the source model carries alpha.
inline void set_up_conversion(TColorManager& cm, ColorModel model, unsigned bits, unsigned samples,
                              uint32_t source_options = 0) {
    cm.set_source_bits_per_sample(static_cast<uint8_t>(bits));
    cm.set_source_samples_per_pixel(static_cast<uint8_t>(samples));
    cm.set_source_color_scheme(model);
    cm.set_source_options(source_options);
    const bool single = model == cmIndexed || model == cmGray || model == cmGrayAlpha;
    const bool alpha = model == cmRGBA || model == cmBGRA || (source_options & coAlpha) != 0;
    const unsigned depth = bits >= 8 ? 8 : bits == 1 ? 1 : 4;
    cm.set_target_bits_per_sample(static_cast<uint8_t>(single ? depth : 8));
    cm.set_target_samples_per_pixel(static_cast<uint8_t>(single ? 1 : alpha ? 4 : 3));
    cm.set_target_color_scheme(single  ? (model == cmIndexed ? cmIndexed : cmGray)
                               : alpha ? cmBGRA
                                       : cmBGR);
    cm.set_target_options(alpha && !single ? uint32_t{coAlpha} : 0u);
}

// The sample layout of a format whose layout the header does not vary: model, bits and
// samples, the pixel size that follows from them, and the compression.
inline void describe_samples(ReaderImageInfo& info, ColorModel model, unsigned bits,
                             unsigned samples, CompressionCode compression) {
    info.color_model = model;
    info.sample_bits = static_cast<uint8_t>(bits);
    info.samples = static_cast<uint8_t>(samples);
    info.pixel_bits = static_cast<uint8_t>(bits * samples);
    info.compression = compression;
}

}  // namespace quorvel::readers
