// The toolkit's metafile class: Windows metafiles (WMF, placeable or not) and enhanced
// metafiles (EMF), turned into SVG by libwmf and libemf2svg and drawn by librsvg. The size is
// the header's at screen resolution (96 dpi); what the picture leaves unpainted is
// transparent. Files the converters or the renderer cannot handle fail at load.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "toolkit/blend.h"

namespace quorvel::toolkit {

class Metafile : public BlendedGraphic {
public:
    void LoadFromStream(Stream& stream) override;
};

namespace metafile {

// Pixel size of a picture at 96 dpi and the SVG that draws it.
struct SvgPicture {
    int width = 0;
    int height = 0;
    std::string svg;
};

// Refuses a size of nothing, or one too large to draw, before anything is converted.
void check_size(int width, int height);

bool is_emf(std::span<const uint8_t> bytes);
// Both throw EInvalidGraphic when the converter refuses the file.
SvgPicture emf_to_svg(std::span<const uint8_t> bytes);
SvgPicture wmf_to_svg(std::span<const uint8_t> bytes);

// Draws the SVG scaled to width x height; throws EInvalidGraphic when librsvg cannot.
BgraImage render_svg(const SvgPicture& picture);

}  // namespace metafile
}  // namespace quorvel::toolkit
