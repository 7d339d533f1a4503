// Enhanced metafiles to SVG through libemf2svg; the size is the header's frame (in 0.01 mm)
// at 96 dpi.
#include <emf2svg.h>
#include <uemf_safe.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "formats/byte_cursor.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/metafile.h"

namespace quorvel::toolkit::metafile {
namespace {

constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr size_t kRecordHeaderBytes = 8;
// Zero bytes behind the copy the converter reads, so that a read just past a record's end
// meets zeros instead of another allocation.
constexpr size_t kGuardBytes = 4096;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kHeaderBytes = 88;
constexpr double kHundredthsOfMmPerInch = 2540.0;
constexpr double kScreenDpi = 96.0;

int32_t le32(std::span<const uint8_t> b, size_t at) {
    return static_cast<int32_t>(formats::le32(b, at));
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

// libemf2svg trusts every size and offset inside the records, so each record is checked by
// libUEMF's own verifier first: it must lie inside the file and be consistent within itself,
// and the file must end with an end-of-file record.
bool records_safe(const std::vector<char>& contents, size_t length) {
    const std::span<const uint8_t> b(reinterpret_cast<const uint8_t*>(contents.data()), length);
    size_t at = 0;
    while (at + kRecordHeaderBytes <= length) {
        const uint32_t type = uint32_t(le32(b, at)), size = uint32_t(le32(b, at + 4));
        if (size < kRecordHeaderBytes || size % 4 != 0 || size > length - at) return false;
        if (!U_emf_record_safe(contents.data() + at)) return false;
        if (type == kEmrEof) return true;
        at += size;
    }
    return false;
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
    contents.resize(bytes.size() + kGuardBytes, 0);
    if (!records_safe(contents, bytes.size())) throw EInvalidGraphic("Metafile is not valid");
    // No namespace prefix: plain SVG elements.
    generatorOptions options{
        nullptr, false, true, true, double(picture.height), double(picture.width)};
    char* svg = nullptr;
    size_t length = 0;
    const int converted = emf2svg(contents.data(), bytes.size(), &svg, &length, &options);
    if (converted != 0 && svg != nullptr) picture.svg.assign(svg, length);
    std::free(svg);
    if (picture.svg.empty()) throw EInvalidGraphic("Metafile cannot be drawn");
    return picture;
}

}  // namespace quorvel::toolkit::metafile
