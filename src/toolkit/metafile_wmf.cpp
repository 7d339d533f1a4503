// Windows metafiles (placeable or not) to SVG through libwmf's SVG device; the size is what
// libwmf makes of the header at 96 dpi. Raster images inside the metafile are inlined, so
// nothing is written beside the file.
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <cstring>
#include <vector>

#include "formats/byte_cursor.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/metafile.h"

namespace quorvel::toolkit::metafile {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableBytes = 22;
constexpr size_t kHeaderBytes = 18;
constexpr double kScreenDpi = 96.0;
constexpr double kPointsPerInch = 72.0;

using formats::le16;
using formats::le32;

// The standard header after the optional placeable one: a memory or disk metafile of 9 header
// words whose largest record fits in the file. libwmf sizes its record buffer by that field,
// so a forged one must not reach it.
bool looks_like_wmf(std::span<const uint8_t> b) {
    const size_t at = b.size() >= 4 && le32(b, 0) == kPlaceableKey ? kPlaceableBytes : 0;
    if (b.size() < at + kHeaderBytes) return false;
    const uint32_t type = le16(b, at), words = le16(b, at + 2), largest = le32(b, at + 12);
    return (type == 1 || type == 2) && words == 9 && largest >= 3 &&
           uint64_t{largest} * 2 <= b.size();
}

[[noreturn]] void refuse() { throw EInvalidGraphic("Metafile cannot be drawn"); }

// One libwmf session; destroyed whichever way the conversion ends.
class WmfSession {
public:
    WmfSession() {
        wmfAPI_Options options;
        std::memset(&options, 0, sizeof options);
        options.function = wmf_svg_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) refuse();
    }
    ~WmfSession() {
        if (api_ != nullptr) wmf_api_destroy(api_);
    }
    WmfSession(const WmfSession&) = delete;
    WmfSession& operator=(const WmfSession&) = delete;
    wmfAPI* api() const { return api_; }
    void check(wmf_error_t status) const {
        if (status != wmf_E_None || api_->err != wmf_E_None) refuse();
    }

private:
    wmfAPI* api_ = nullptr;
};

// libwmf draws in points from the window origin and frames what the records paint; a
// placeable file's header gives the picture's own frame, which keeps its margins.
void placeable_frame(wmfAPI* api, wmfD_Rect& bbox) {
    if (api->File == nullptr || !api->File->placeable || api->File->pmh == nullptr) return;
    const wmfPlaceableMetaHeader& header = *api->File->pmh;
    if (header.Inch == 0 || header.Right <= header.Left || header.Bottom <= header.Top) return;
    const double points_per_unit = kPointsPerInch / header.Inch;
    bbox.TL.x = bbox.TL.y = 0;
    bbox.BR.x = static_cast<float>((header.Right - header.Left) * points_per_unit);
    bbox.BR.y = static_cast<float>((header.Bottom - header.Top) * points_per_unit);
}

std::string play_to_svg(WmfSession& session, wmfD_Rect bbox, const SvgPicture& picture) {
    wmf_svg_t* device = WMF_SVG_GetData(session.api());
    device->out = wmf_stream_create(session.api(), nullptr);
    if (device->out == nullptr) refuse();
    device->bbox = bbox;
    device->width = static_cast<unsigned>(picture.width);
    device->height = static_cast<unsigned>(picture.height);
    device->flags |= WMF_SVG_INLINE_IMAGES;
    const wmf_error_t status = wmf_play(session.api(), 0, &bbox);
    char* text = nullptr;
    unsigned long length = 0;
    wmf_stream_destroy(session.api(), device->out, &text, &length);
    std::string svg = text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) wmf_free(session.api(), text);
    session.check(status);
    return svg;
}

}  // namespace

SvgPicture wmf_to_svg(std::span<const uint8_t> bytes) {
    if (!looks_like_wmf(bytes)) throw EInvalidGraphic("Metafile is not valid");
    std::vector<unsigned char> contents(bytes.begin(), bytes.end());
    WmfSession session;
    session.check(wmf_mem_open(session.api(), contents.data(), static_cast<long>(contents.size())));
    wmfD_Rect bbox;
    session.check(wmf_scan(session.api(), 0, &bbox));
    placeable_frame(session.api(), bbox);
    unsigned width = 0, height = 0;
    session.check(wmf_display_size(session.api(), &width, &height, kScreenDpi, kScreenDpi));
    SvgPicture picture;
    picture.width = static_cast<int>(std::min(width, 1u << 30));
    picture.height = static_cast<int>(std::min(height, 1u << 30));
    check_size(picture.width, picture.height);
    picture.svg = play_to_svg(session, bbox, picture);
    if (picture.svg.empty()) refuse();
    return picture;
}

}  // namespace quorvel::toolkit::metafile
