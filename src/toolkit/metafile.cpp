#include "toolkit/metafile.h"

#include <algorithm>
#include <memory>

#include "platform/limits.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {

void metafile::check_size(int width, int height) {
    if (width <= 0 || height <= 0) throw EInvalidGraphic("Metafile has no size");
    // Sides and pixels a metafile may ask for at 96 dpi, before it is drawn.
    const platform::LoadLimits limits = platform::load_limits();
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (uint64_t(width) > limits.max_metafile_side || uint64_t(height) > limits.max_metafile_side ||
        pixels > std::min(limits.max_pixels, limits.max_metafile_pixels))
        throw EInvalidGraphic("Metafile is too large to draw");
}

void Metafile::LoadFromStream(Stream& stream) {
    const std::span<const uint8_t> bytes = stream.rest();
    const metafile::SvgPicture picture =
        metafile::is_emf(bytes) ? metafile::emf_to_svg(bytes) : metafile::wmf_to_svg(bytes);
    image_ = metafile::render_svg(picture);
    stream.seek(stream.size());
}

const GraphicClass& metafile_class() {
    static const GraphicClass c{"TMetafile", [] { return std::unique_ptr<Graphic>(new Metafile); }};
    return c;
}

}  // namespace quorvel::toolkit
