// The gdk-pixbuf loader module for WSQ: GTK programs, file choosers and thumbnailers open WSQ
// files through gdk_pixbuf_new_from_file or a GdkPixbufLoader. Every load owns its state (the
// codec's calls do too), so the module declares itself safe on several threads; no exception
// leaves it: a stream the codec refuses is a GError with the codec's reason.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#undef GDK_PIXBUF_ENABLE_BACKEND

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <quorvel/quorvel.hpp>

namespace {

struct Context {
    GdkPixbufModuleSizeFunc size_func;
    GdkPixbufModulePreparedFunc prepared_func;
    GdkPixbufModuleUpdatedFunc updated_func;
    gpointer user_data;
    std::vector<std::uint8_t> stream;
};

void fail(GError** error, GdkPixbufError code, const std::string& message) {
    g_set_error_literal(error, GDK_PIXBUF_ERROR, code, message.c_str());
}

// gdk-pixbuf has no gray pixbufs: each gray byte becomes red, green and blue.
GdkPixbuf* rgb_pixbuf(const quorvel::Image& image, GError** error) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
    if (pixbuf == nullptr) {
        fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "Not enough memory for the WSQ image");
        return nullptr;
    }
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        guchar* out = pixels + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < image.width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
    }
    return pixbuf;
}

// The resolution as the x-dpi and y-dpi options other loaders give, and the comment.
void add_options(GdkPixbuf* pixbuf, const quorvel::Image& image) {
    if (image.ppi > 0) {
        const std::string dpi = std::to_string(image.ppi);
        gdk_pixbuf_set_option(pixbuf, "x-dpi", dpi.c_str());
        gdk_pixbuf_set_option(pixbuf, "y-dpi", dpi.c_str());
    }
    if (image.comment) gdk_pixbuf_set_option(pixbuf, "comment", image.comment->c_str());
}

GdkPixbuf* decode_pixbuf(const std::vector<std::uint8_t>& stream, GError** error) {
    try {
        const quorvel::Image image = quorvel::decode(stream);
        GdkPixbuf* pixbuf = rgb_pixbuf(image, error);
        if (pixbuf != nullptr) add_options(pixbuf, image);
        return pixbuf;
    } catch (const std::exception& e) {
        fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, std::string("WSQ: ") + e.what());
    }
    return nullptr;
}

GdkPixbuf* load(FILE* file, GError** error) {
    std::vector<std::uint8_t> stream;
    std::uint8_t chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        stream.insert(stream.end(), chunk, chunk + n);
    if (std::ferror(file)) {
        fail(error, GDK_PIXBUF_ERROR_FAILED, "The WSQ file could not be read");
        return nullptr;
    }
    return decode_pixbuf(stream, error);
}

gpointer begin_load(GdkPixbufModuleSizeFunc size_func, GdkPixbufModulePreparedFunc prepared_func,
                    GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data, GError** error) {
    auto* context =
        new (std::nothrow) Context{size_func, prepared_func, updated_func, user_data, {}};
    if (context == nullptr)
        fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "Not enough memory to begin a WSQ load");
    return context;
}

gboolean load_increment(gpointer data, const guchar* bytes, guint size, GError** error) {
    try {
        auto& stream = static_cast<Context*>(data)->stream;
        stream.insert(stream.end(), bytes, bytes + size);
        return TRUE;
    } catch (const std::exception&) {
        fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "Not enough memory for the WSQ stream");
        return FALSE;
    }
}

// The whole stream has arrived: decode it, let the loader ask for a size (it scales the
// result itself), then hand over the image at once.
gboolean stop_load(gpointer data, GError** error) {
    Context* context = static_cast<Context*>(data);
    GdkPixbuf* pixbuf = decode_pixbuf(context->stream, error);
    if (pixbuf != nullptr) {
        int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
        if (context->size_func != nullptr) context->size_func(&width, &height, context->user_data);
        if (width > 0 && height > 0) {
            if (context->prepared_func != nullptr)
                context->prepared_func(pixbuf, nullptr, context->user_data);
            if (context->updated_func != nullptr)
                context->updated_func(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf),
                                      gdk_pixbuf_get_height(pixbuf), context->user_data);
        }
        g_object_unref(pixbuf);
    }
    delete context;
    return pixbuf != nullptr;
}

}  // namespace

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module) {
    module->load = load;
    module->begin_load = begin_load;
    module->stop_load = stop_load;
    module->load_increment = load_increment;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info) {
    static GdkPixbufModulePattern signature[] = {
        // start of image, then a table, the frame header or a comment (looks_like_wsq's rule)
        {const_cast<char*>("\xFF\xA0\xFF\xA2"), nullptr, 100},
        {const_cast<char*>("\xFF\xA0\xFF\xA4"), nullptr, 100},
        {const_cast<char*>("\xFF\xA0\xFF\xA5"), nullptr, 100},
        {const_cast<char*>("\xFF\xA0\xFF\xA6"), nullptr, 100},
        {const_cast<char*>("\xFF\xA0\xFF\xA7"), nullptr, 100},
        {const_cast<char*>("\xFF\xA0\xFF\xA8"), nullptr, 100},
        {nullptr, nullptr, 0},
    };
    static gchar* mime_types[] = {const_cast<gchar*>("image/x-wsq"), nullptr};
    static gchar* extensions[] = {const_cast<gchar*>("wsq"), nullptr};
    info->name = const_cast<gchar*>("wsq");
    info->signature = signature;
    info->description = const_cast<gchar*>("WSQ fingerprint image");
    info->mime_types = mime_types;
    info->extensions = extensions;
    info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
    info->license = const_cast<gchar*>("other");
}

}  // extern "C"
