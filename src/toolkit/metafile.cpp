#include "toolkit/metafile.h"

#include <memory>

#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

// Sides and pixels a metafile may ask for at 96 dpi (16384 x 1024, or 42 inches square): a
// rendering takes 4 bytes a pixel and its time grows with them, whatever the few bytes of
// records that ask for it.
constexpr int kMaxSide = 16384;
constexpr uint64_t kMaxPixels = uint64_t{1} << 24;

}  // namespace

void metafile::check_size(int width, int height) {
    if (width <= 0 || height <= 0) throw EInvalidGraphic("Metafile has no size");
    if (width > kMaxSide || height > kMaxSide || uint64_t(width) * uint64_t(height) > kMaxPixels)
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
