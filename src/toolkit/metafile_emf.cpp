// Enhanced metafiles to SVG through libemf2svg; the size is the header's frame (in 0.01 mm)
// at 96 dpi.
#include <emf2svg.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "toolkit/graphic_errors.h"
#include "toolkit/metafile.h"

namespace quorvel::toolkit::metafile {
namespace {

constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kHeaderBytes = 88;
constexpr double kHundredthsOfMmPerInch = 2540.0;
constexpr double kScreenDpi = 96.0;

int32_t le32(std::span<const uint8_t> b, size_t at) {
    return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                uint32_t(b[at + 3]) << 24);
}

int to_pixels(int64_t hundredths_of_mm) {
    return static_cast<int>(
        std::lround(double(hundredths_of_mm) * kScreenDpi / kHundredthsOfMmPerInch));
}

// The frame at 96 dpi, or the bounds (device pixels, inclusive) when the frame is empty.
void picture_size(std::span<const uint8_t> b, SvgPicture& picture) {
    picture.width = to_pixels(int64_t{le32(b, 32)} - le32(b, 24));
    picture.height = to_pixels(int64_t{le32(b, 36)} - le32(b, 28));
    if (picture.width > 0 && picture.height > 0) return;
    picture.width =
        static_cast<int>(std::clamp<int64_t>(int64_t{le32(b, 16)} - le32(b, 8) + 1, 0, INT32_MAX));
    picture.height =
        static_cast<int>(std::clamp<int64_t>(int64_t{le32(b, 20)} - le32(b, 12) + 1, 0, INT32_MAX));
}

}  // namespace

bool is_emf(std::span<const uint8_t> b) {
    return b.size() >= kHeaderBytes && uint32_t(le32(b, 0)) == kEmrHeader &&
           uint32_t(le32(b, 40)) == kEmfSignature;
}

SvgPicture emf_to_svg(std::span<const uint8_t> bytes) {
    if (!is_emf(bytes)) throw EInvalidGraphic("Metafile is not valid");
    SvgPicture picture;
    picture_size(bytes, picture);
    check_size(picture.width, picture.height);
    std::vector<char> contents(bytes.begin(), bytes.end());
    // No namespace prefix: plain SVG elements.
    generatorOptions options{nullptr, false, true, true, double(picture.height),
                             double(picture.width)};
    char* svg = nullptr;
    size_t length = 0;
    const int converted = emf2svg(contents.data(), contents.size(), &svg, &length, &options);
    if (converted != 0 && svg != nullptr) picture.svg.assign(svg, length);
    std::free(svg);
    if (picture.svg.empty()) throw EInvalidGraphic("Metafile cannot be drawn");
    return picture;
}

}  // namespace quorvel::toolkit::metafile
