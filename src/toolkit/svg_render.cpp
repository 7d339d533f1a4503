// Drawing the SVG a metafile became with librsvg onto a cairo image, then from cairo's
// premultiplied ARGB words to straight B, G, R, A bytes.
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cstring>
#include <iterator>
#include <memory>

#include "toolkit/graphic_errors.h"
#include "toolkit/metafile.h"

namespace quorvel::toolkit::metafile {
namespace {

struct HandleFree {
    void operator()(RsvgHandle* h) const { g_object_unref(h); }
};
struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

[[noreturn]] void refuse(GError* error) {
    const std::string reason = error != nullptr ? error->message : "";
    if (error != nullptr) g_error_free(error);
    throw EInvalidGraphic("Metafile cannot be drawn" +
                          (reason.empty() ? std::string() : ": " + reason));
}

// What librsvg's helpers log through GLib while it draws (gdk-pixbuf decoding an inlined
// image, Pango choosing a font) would go to standard error; the user sees the picture, or the
// failure in our words, instead. The handlers live only for the call, so a host's own logging
// stays as it set it. (librsvg itself logs, structured, only when its API is misused.)
class QuietGlibLog {
public:
    QuietGlibLog() {
        for (size_t i = 0; i < std::size(kDomains); ++i)
            ids_[i] =
                g_log_set_handler(kDomains[i], GLogLevelFlags(G_LOG_LEVEL_MASK), drop, nullptr);
    }
    ~QuietGlibLog() {
        for (size_t i = 0; i < std::size(kDomains); ++i) g_log_remove_handler(kDomains[i], ids_[i]);
    }
    QuietGlibLog(const QuietGlibLog&) = delete;
    QuietGlibLog& operator=(const QuietGlibLog&) = delete;

private:
    static constexpr const char* kDomains[] = {"librsvg", "GdkPixbuf", "Pango", "GLib-GObject",
                                               "GLib-GIO"};
    static void drop(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
    guint ids_[std::size(kDomains)] = {};
};

uint8_t unpremultiply(uint32_t channel, uint32_t alpha) {
    return static_cast<uint8_t>(std::min<uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
}

void copy_pixels(cairo_surface_t* surface, BgraImage& image) {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t argb;
            std::memcpy(&argb, data + size_t(y) * stride + size_t(x) * 4, 4);
            const uint32_t a = argb >> 24;
            uint8_t* out = &image.pixels[(size_t(y) * image.width + x) * 4];
            out[3] = static_cast<uint8_t>(a);
            if (a == 0) continue;
            out[0] = unpremultiply(argb & 0xFF, a);
            out[1] = unpremultiply((argb >> 8) & 0xFF, a);
            out[2] = unpremultiply((argb >> 16) & 0xFF, a);
        }
    }
}

}  // namespace

BgraImage render_svg(const SvgPicture& picture) {
    const QuietGlibLog quiet;
    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, HandleFree> handle(rsvg_handle_new_from_data(
        reinterpret_cast<const guint8*>(picture.svg.data()), picture.svg.size(), &error));
    if (!handle) refuse(error);
    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) refuse(nullptr);
    cairo_t* cr = cairo_create(surface.get());
    const RsvgRectangle viewport{0, 0, double(picture.width), double(picture.height)};
    const gboolean drawn = rsvg_handle_render_document(handle.get(), cr, &viewport, &error);
    cairo_destroy(cr);
    if (!drawn) refuse(error);
    cairo_surface_flush(surface.get());
    BgraImage image{picture.width, picture.height,
                    std::vector<uint8_t>(size_t(picture.width) * picture.height * 4, 0)};
    copy_pixels(surface.get(), image);
    return image;
}

}  // namespace quorvel::toolkit::metafile
