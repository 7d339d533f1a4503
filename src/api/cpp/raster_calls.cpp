// load(), save() and convert(): the file exports' readers and writers, on a library bitmap,
// picture holder, settings and container state of the call's own, to and from a Raster.
#include <quorvel/quorvel.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "api/cpp/raster_session.h"
#include "api/load.h"
#include "api/settings.h"
#include "formats/pixel_order.h"
#include "platform/replacing_file.h"
#include "raster/bmg_error.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/picture.h"
#include "wsq/nistcom.h"

namespace quorvel {
namespace {

using toolkit::Bitmap;

bool gray_pixels(const Bitmap& bitmap) {
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* row = bitmap.scanline(y);
        for (int x = 0; x < bitmap.width(); ++x, row += 3)
            if (row[0] != row[1] || row[1] != row[2]) return false;
    }
    return true;
}

// A 24-bit bitmap (blue, green, red) to gray or RGB rows.
Raster raster_of(const Bitmap& bitmap) {
    Raster image;
    image.width = bitmap.width();
    image.height = bitmap.height();
    image.channels = gray_pixels(bitmap) ? 1 : 3;
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * image.channels);
    const auto width = static_cast<std::size_t>(image.width);
    std::uint8_t* out = image.pixels.data();
    for (int y = 0; y < image.height; ++y, out += width * image.channels) {
        const std::uint8_t* row = bitmap.scanline(y);
        if (image.channels == 3) {
            formats::swap_red_blue(row, out, width);
            continue;
        }
        for (std::size_t x = 0; x < width; ++x) out[x] = row[3 * x];
    }
    return image;
}

// The WSQ reader leaves the file's resolution and its last comment in the settings (the
// comment owned by the call's file state).
void take_wsq_facts(const api::Settings& settings, Raster& image) {
    image.ppi = settings.wsq_ppi;
    const char* comment = settings.wsq_comment;
    if (comment != nullptr &&
        std::strncmp(comment, wsq::NISTCOM_NAME, std::strlen(wsq::NISTCOM_NAME)) != 0)
        image.comment = comment;
}

}  // namespace

Raster load(const std::string& path) {
    cpp::RasterSession session("load");
    api::FileState& state = session.context().files;
    api::Settings& settings = session.context().library.settings;
    const api::LoadRoute route = api::load_route(path);
    if (route == api::LoadRoute::None)
        session.fail(kInvalidArgument, path + ": no reader for this extension");
    const HBITMAP loaded = api::load_file_guarded(state, settings, path.c_str());
    Raster image;
    if (loaded != nullptr) image = raster_of(state.library_bitmap);
    if (route == api::LoadRoute::Wsq) take_wsq_facts(settings, image);
    if (loaded == nullptr) session.fail(kLoadFailed, path + ": " + api::last_load_error());
    return image;
}

namespace {

std::string lower_extension(const std::string& path) {
    std::string extension = toolkit::file_extension(path);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

void check_raster(const cpp::RasterSession& session, const Raster& image, const std::string& path) {
    const long long expected = static_cast<long long>(image.width) * image.height * image.channels;
    if (image.width <= 0 || image.height <= 0 || (image.channels != 1 && image.channels != 3) ||
        static_cast<long long>(image.pixels.size()) != expected)
        session.fail(kInvalidArgument, path + ": " + std::to_string(image.pixels.size()) +
                                           " bytes for a " + std::to_string(image.width) + " x " +
                                           std::to_string(image.height) + " image of " +
                                           std::to_string(image.channels) + " channels");
}

// The working copy every writer reads: 24 bits, blue, green, red.
void fill_bitmap(const Raster& image, Bitmap& bitmap) {
    bitmap.set_pixel_format(toolkit::PixelFormat::Bit24);
    bitmap.set_size(image.width, image.height);
    const auto width = static_cast<std::size_t>(image.width);
    const std::uint8_t* in = image.pixels.data();
    for (int y = 0; y < image.height; ++y, in += width * image.channels) {
        std::uint8_t* row = bitmap.scanline(y);
        if (image.channels == 3) {
            formats::swap_red_blue(in, row, width);
            continue;
        }
        for (std::size_t x = 0; x < width; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = in[x];
    }
}

void write_container(const cpp::RasterSession& session, const Bitmap& bitmap,
                     const std::string& path, void* options) {
    const raster::BMGError status = raster::WriteImageFile(bitmap.handle(), path.c_str(), options);
    if (status != raster::BMG_OK) session.fail(status, path + ": " + raster::GetImageErrorText());
}

void write_wsq(const cpp::RasterSession& session, const Bitmap& bitmap, const std::string& path,
               const SaveOptions& options) {
    std::string comment = options.comment.value_or("");
    raster::WsqFileOptions wsq{8, options.bitrate, options.ppi,
                               options.comment ? comment.data() : nullptr};
    write_container(session, bitmap, path, &wsq);
}

void write_tiff(const cpp::RasterSession& session, const Bitmap& bitmap, const std::string& path,
                const SaveOptions& options) {
    const std::uint8_t compression = api::tiff_writer_code(options.tiff_compression);
    raster::TiffFileOptions tiff{compression, 0, 0,
                                 static_cast<std::uint16_t>(options.tiff_predictor & 0xFFFF)};
    write_container(session, bitmap, path, &tiff);
}

// BMP and JPEG: the toolkit's classes make the file in memory; it replaces the target whole.
void write_toolkit(const cpp::RasterSession& session, const Bitmap& bitmap, const std::string& path,
                   bool jpeg, int quality) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = toolkit::encode_bmp_or_jpeg(bitmap, jpeg, quality);
    } catch (const toolkit::GraphicError& e) {
        session.fail(kSaveFailed, path + ": " + e.what());
    }
    std::string reason;
    if (!platform::write_file_replacing(path, bytes, reason))
        session.fail(kSaveFailed, path + ": " + reason);
}

}  // namespace

void save(const Raster& image, const std::string& path, const SaveOptions& options) {
    cpp::RasterSession session("save");
    check_raster(session, image, path);
    const std::string extension = lower_extension(path);
    Bitmap bitmap;
    fill_bitmap(image, bitmap);
    if (extension == "wsq") write_wsq(session, bitmap, path, options);
    else if (extension == "tif" || extension == "tiff") write_tiff(session, bitmap, path, options);
    else if (extension == "png" || extension == "tga" || extension == "rgb")
        write_container(session, bitmap, path, nullptr);
    else if (extension == "bmp") write_toolkit(session, bitmap, path, false, 0);
    else if (extension == "jpg" || extension == "jpeg")
        write_toolkit(session, bitmap, path, true, options.jpeg_quality);
    else
        session.fail(kInvalidArgument,
                     path + ": no writer for this extension (wsq, bmp, tif, png, jpg, tga, rgb)");
}

void convert(const std::string& source, const std::string& target, const SaveOptions& options) {
    save(load(source), target, options);
}

}  // namespace quorvel
