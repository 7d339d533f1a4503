#include "api/load.h"

#include <cstdlib>
#include <memory>

#include "api/context.h"
#include "raster/bmg_error.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "toolkit/jpeg_image.h"

namespace quorvel::api {
namespace {

using toolkit::Bitmap;
using toolkit::PixelFormat;

void load_container(FileState& state, const char* file_name, void* options) {
    state.library_bitmap.assign_handle(raster::LoadBitmapFromImageFile(file_name, options, 0));
    if (state.library_bitmap.empty()) current_context().load_error = raster::GetImageErrorText();
}

void load_wsq(FileState& state, Settings& settings, const char* file_name) {
    raster::WsqFileOptions options{24, 0.75, 500, nullptr};
    load_container(state, file_name, &options);
    settings.wsq_ppi = options.ppi;
    settings.wsq_comment = state.keep_comment(options.comment);
    std::free(options.comment);
}

void load_picture(FileState& state, const char* file_name) {
    state.picture_holder.LoadFromFile(file_name);
    state.library_bitmap.take(*state.picture_holder.graphic());
}

std::unique_ptr<toolkit::Graphic> read_graphic(const toolkit::GraphicClass& graphic_class,
                                               const char* file_name) {
    std::unique_ptr<toolkit::Graphic> graphic = graphic_class.make();
    const std::vector<uint8_t> bytes = toolkit::read_whole_file(file_name);
    toolkit::Stream stream(bytes);
    graphic->LoadFromStream(stream);
    return graphic;
}

void fill_white(Bitmap& bitmap) {
    for (int y = 0; y < bitmap.height(); ++y)
        std::fill_n(bitmap.scanline(y), bitmap.row_bytes(), uint8_t{0xFF});
}

// Icons and metafiles are drawn onto a new bitmap of their size; what they leave unpainted
// (transparent pixels, the metafile's background) stays white.
void load_drawn(FileState& state, const toolkit::GraphicClass& graphic_class,
                const char* file_name) {
    const std::unique_ptr<toolkit::Graphic> graphic = read_graphic(graphic_class, file_name);
    auto canvas = std::make_unique<Bitmap>();
    canvas->set_size(graphic->width(), graphic->height());
    fill_white(*canvas);
    graphic->draw(*canvas);
    canvas->set_pixel_format(PixelFormat::Bit24);
    state.picture_holder.set_graphic(std::move(canvas));
    state.library_bitmap.assign(*state.picture_holder.graphic());
}

void load_jpeg(FileState& state, const char* file_name) {
    const std::unique_ptr<toolkit::Graphic> graphic =
        read_graphic(toolkit::jpeg_class(), file_name);
    state.library_bitmap.assign(static_cast<const toolkit::JpegImage&>(*graphic).bitmap());
}

}  // namespace

const std::string& last_load_error() { return current_context().load_error; }

HBITMAP load_file_guarded(FileState& state, Settings& settings, const char* file_name) noexcept {
    std::string& reason = current_context().load_error;
    try {
        reason.clear();
        return load_file(state, settings, file_name);
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unknown failure";
    }
    return nullptr;
}

LoadRoute load_route(const std::string& file_name) {
    const std::string extension = toolkit::file_extension(file_name);
    const readers::FormatRow* row = readers::find_format(extension);
    return row == nullptr ? LoadRoute::None : row->route;
}

HBITMAP load_file(FileState& state, Settings& settings, const char* file_name) {
    const LoadRoute route = file_name == nullptr ? LoadRoute::None : load_route(file_name);
    switch (route) {
        case LoadRoute::Wsq:
            load_wsq(state, settings, file_name);
            break;
        case LoadRoute::Container:
            load_container(state, file_name, nullptr);
            break;
        case LoadRoute::PictureLoader:
            load_picture(state, file_name);
            break;
        case LoadRoute::Icon:
            load_drawn(state, toolkit::icon_class(), file_name);
            break;
        case LoadRoute::Metafile:
            load_drawn(state, toolkit::metafile_class(), file_name);
            break;
        case LoadRoute::Jpeg:
            load_jpeg(state, file_name);
            break;
        case LoadRoute::None:
            break;
    }
    state.library_bitmap.set_pixel_format(PixelFormat::Bit24);
    return state.library_bitmap.handle();
}

}  // namespace quorvel::api
