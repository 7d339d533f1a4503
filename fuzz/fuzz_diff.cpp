// Differential targets: one format read by the container's codec (through its file dispatch,
// as a load meets it) and by the extended readers' class (through the picture loader), built
// once per format (QUORVEL_DIFF_FORMAT names it). Both pictures are brought to one form: width,
// height and top-down 8-bit RGBA rows, where indexed and gray bitmaps go through the bitmap's
// own conversion to 24 bits, 5-5-5 ones widen each sample by 8, and a picture without alpha
// counts as opaque. Samples
// wider than 8 bits reach this form already narrowed by each reader. Alpha is compared only
// when both pictures carry it. When both accept the input and the pictures differ beyond the
// format's tolerance, the first differing pixel is printed and the target aborts. One side
// refusing what the other reads is counted (the readers have their own bounds), printed at
// exit, and with QUORVEL_DIFF_SAMPLES=DIR the first inputs of each kind are kept in DIR.
//
// TIFF has three readers: the container's libtiff reader as a load uses it (Orientation applied,
// associated alpha divided out), the same reader with the extended reader's rules (stored order,
// stored colours; what the extended reader's fallback calls), and the extended reader's native
// strips decoders. Pixels are compared between the native decoders and libtiff under the same
// rules; the container's own rules are counted for acceptance only, as they differ on purpose.
#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "api/file_state.h"
#include "fuzz_support.h"
#include "raster/bmg_image.h"
#include "raster/bridge.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "readers/formats/tiff.h"
#include "readers/formats/tiff_ifd.h"
#include "readers/registry.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"
#include "toolkit/picture.h"
#include "wsq/diag.h"

#ifndef QUORVEL_DIFF_FORMAT
#error "QUORVEL_DIFF_FORMAT names the format: tif, png, tga, pcx, rgb or psd"
#endif

namespace {

using namespace quorvel;

const std::string kFormat = QUORVEL_DIFF_FORMAT;
const bool kTiff = kFormat == "tif";

// Largest difference per channel taken as equal. Targa and PCX hold 8-bit (or 5-5-5) samples
// both readers copy or widen by the same rule: exact. PNG, TIFF, SGI and PSD may hold 16-bit
// samples, which libpng and libtiff narrow by truncation and the extended decoders by their
// own scaling: one level either way. PSD's container reader is the extended class itself, so
// what is compared there is the record made from its bitmap: exact as well.
int tolerance() {
    if (kFormat == "tga" || kFormat == "pcx" || kFormat == "psd") return 0;
    return 1;
}

struct Rgba {
    int width = 0;
    int height = 0;
    bool alpha = false;
    std::vector<uint8_t> pixels;  // 4 bytes a pixel, red first, rows top-down
};

// The bitmap in the common form; alpha when it is a 32-bit bitmap.
Rgba normalise(toolkit::Bitmap& bitmap) {
    Rgba out;
    out.width = bitmap.width();
    out.height = bitmap.height();
    const toolkit::PixelFormat format = bitmap.pixel_format();
    out.alpha = format == toolkit::PixelFormat::Bit32;
    // 5-5-5 pixels widen by 8, as both readers widen 5-bit samples (the container keeps them in
    // a 16-bit bitmap, the extended reader writes them to 24 bits).
    const bool five =
        format == toolkit::PixelFormat::Bit15 || format == toolkit::PixelFormat::Bit16;
    if (!out.alpha && !five && format != toolkit::PixelFormat::Bit24)
        bitmap.set_pixel_format(toolkit::PixelFormat::Bit24);
    const int step = out.alpha ? 4 : five ? 2 : 3;
    out.pixels.resize(size_t(out.width) * size_t(out.height) * 4);
    uint8_t* q = out.pixels.data();
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* p = bitmap.scanline(y);
        for (int x = 0; x < out.width; ++x, p += step, q += 4) {
            if (five) {
                const unsigned v = p[0] | p[1] << 8;
                q[0] = uint8_t((v >> 10 & 31) << 3), q[1] = uint8_t((v >> 5 & 31) << 3);
                q[2] = uint8_t((v & 31) << 3);
            } else {
                q[0] = p[2], q[1] = p[1], q[2] = p[0];
            }
            q[3] = out.alpha ? p[3] : 255;
        }
    }
    return out;
}

// A container record through the bridge a load uses (no compositing, alpha kept).
std::optional<Rgba> from_record(raster::BMGImage& img) {
    HBITMAP handle = raster::BitmapFromImage(img, 0);
    if (handle == nullptr) return std::nullopt;
    toolkit::Bitmap bitmap;
    bitmap.assign_handle(handle);
    return normalise(bitmap);
}

std::optional<Rgba> container_file(const std::vector<uint8_t>& file) {
    static const std::string path = fuzz::scratch_path(kFormat.c_str());
    if (!fuzz::write_file(path, file.data(), file.size())) std::abort();
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.dibLayout = 1;
    std::optional<Rgba> out;
    if (raster::ReadImageFile(path.c_str(), &img, nullptr) == raster::BMG_OK)
        out = from_record(img);
    raster::ReleaseImageRecord(&img);
    std::remove(path.c_str());
    return out;
}

std::optional<Rgba> container_tiff(const std::vector<uint8_t>& file,
                                   const raster::TiffReadRules& rules) {
    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.dibLayout = 1;
    std::optional<Rgba> out;
    if (raster::ReadTiffMemory(file.data(), file.size(), &img, rules) == raster::BMG_OK)
        out = from_record(img);
    raster::ReleaseImageRecord(&img);
    return out;
}

struct Extended {
    std::optional<Rgba> picture;
    bool by_fallback = false;
};

Extended extended(const std::vector<uint8_t>& file) {
    // The extension the registry lists for the class; SGI's container key is "rgb".
    const std::string extension = kFormat == "rgb" ? "sgi" : kFormat;
    Extended out;
    toolkit::Picture picture;
    try {
        // A directory that does not exist, so that no sibling file is found.
        picture.load_from_memory("/nonexistent-quorvel-fuzz/input." + extension, file);
    } catch (const toolkit::GraphicError&) {
        return out;
    }
    auto* bitmap = dynamic_cast<toolkit::Bitmap*>(picture.graphic());
    if (bitmap == nullptr || bitmap->empty()) return out;
    if (auto* tiff = dynamic_cast<readers::TTIFFGraphic*>(bitmap))
        out.by_fallback = tiff->loaded_by_fallback();
    out.picture = normalise(*bitmap);
    return out;
}

// Documented differences (docs/differential-fuzzing.md), each a narrow rule.

// PNG: the extended reader applies a gAMA chunk that differs from the display's 2.2 by 1% or
// more (as its reader does: file gamma times 2.2, away from 1); the container stores the
// samples as they are. The file's gamma as libpng reads it, 0 without one.
struct PngSource {
    const std::vector<uint8_t>* file;
    size_t at;
};

void png_from_memory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->file->size() - source->at) png_error(png, "short");
    std::copy_n(source->file->data() + source->at, length, out);
    source->at += length;
}

void png_quiet(png_structp, png_const_charp) {}

double png_file_gamma(const std::vector<uint8_t>& file) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_quiet, png_quiet);
    png_infop info = png_create_info_struct(png);
    PngSource source{&file, 0};
    double gamma = 0;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, png_from_memory);
        png_read_info(png, info);
        if (png_get_gAMA(png, info, &gamma) == 0) gamma = 0;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return gamma;
}

// TIFF, damaged strip data, where each decoder shows what the file lacks its own way: fewer
// StripOffsets than the image has strips (libtiff makes up the missing ones, the native
// decoders leave their rows cleared), and Deflate strips whose stream fails zlib's check or
// does not end, with its checksum, at the strip's size: libtiff (built with libdeflate) keeps
// what libdeflate left in the strip when it gave up, which is not the stream's first bytes;
// the native decoders take what zlib inflates.
bool deflate_damaged(const readers::tiff::Directory& d, uint32_t offset, uint32_t count,
                     uint64_t strip_bytes) {
    const std::span<const uint8_t> file = d.file();
    if (offset >= file.size()) return false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    std::vector<uint8_t> out(1 << 16);
    z.next_in = const_cast<Bytef*>(file.data() + offset);
    z.avail_in = uInt(std::min<uint64_t>(count == 0 ? UINT32_MAX : count, file.size() - offset));
    int state = Z_OK;
    while (state == Z_OK) {
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        state = inflate(&z, Z_NO_FLUSH);
    }
    inflateEnd(&z);
    return state != Z_STREAM_END || z.total_out != strip_bytes;
}

bool tiff_strips_damaged(const std::vector<uint8_t>& file) {
    namespace t = readers::tiff;
    const std::optional<t::Header> header = t::read_header(file);
    if (!header) return false;
    const std::optional<uint32_t> at = t::find_directory(file, *header, 0);
    t::Directory d(file, header->big_endian);
    if (!at || !d.read(*at)) return false;
    const uint32_t height = d.single(t::tagImageLength, 0);
    uint32_t rows = d.single(t::tagRowsPerStrip, height);
    if (rows == 0 || rows > height) rows = height;
    const bool planar = d.single(t::tagPlanarConfiguration, 1) == 2;
    const uint64_t samples = d.single(t::tagSamplesPerPixel, 1);
    const uint64_t planes = planar ? samples : 1;
    const uint64_t per_plane = rows == 0 ? 0 : (uint64_t{height} + rows - 1) / rows;
    const std::vector<uint32_t> offsets = d.values(t::tagStripOffsets, 1u << 20);
    if (offsets.size() < per_plane * planes) return true;
    const uint32_t compression = d.single(t::tagCompression, 1);
    if (compression != 8 && compression != 32946) return false;
    const uint64_t row_bytes = (uint64_t{d.single(t::tagImageWidth, 0)} *
                                    d.single(t::tagBitsPerSample, 1) * (planar ? 1 : samples) +
                                7) /
                               8;
    const std::vector<uint32_t> counts = d.values(t::tagStripByteCounts, 1u << 20);
    for (size_t i = 0; i < offsets.size() && i < per_plane * planes && i < 64; ++i) {
        const uint64_t first_row = i % per_plane * rows;
        const uint64_t strip_rows = std::min<uint64_t>(rows, height - first_row);
        if (deflate_damaged(d, offsets[i], i < counts.size() ? counts[i] : 0,
                            strip_rows * row_bytes))
            return true;
    }
    return false;
}

// Targa gray images (types 3 and 11) that carry a colour map: the container's reader colours
// the levels through the map, the extended reader shows them as gray levels.
bool targa_gray_with_map(const std::vector<uint8_t>& file) {
    return file.size() >= 18 && file[1] == 1 && (file[2] == 3 || file[2] == 11);
}

// PCX run-length data with a run that crosses the end of a scan line (of all its planes): the
// container's reader cuts the run there, the extended reader carries it on into the next line.
bool pcx_run_crosses_line(const std::vector<uint8_t>& file) {
    if (file.size() < 128 || file[2] != 1) return false;
    const size_t line = size_t(file[66] | file[67] << 8) * file[65];
    const size_t lines = size_t((file[10] | file[11] << 8) - (file[6] | file[7] << 8)) + 1;
    if (line == 0) return false;
    size_t at = 128, filled = 0;
    for (size_t y = 0; y < lines && at < file.size(); ++y, filled -= line)
        while (filled < line && at < file.size()) {
            const uint8_t b = file[at++];
            filled += (b & 0xC0) == 0xC0 ? (at++, b & 63u) : 1;
            if (filled > line) return true;
        }
    return false;
}

// SGI files of dimension 1 or 2 (one channel) whose z size says more: the container's reader
// takes z size channels, the extended reader one, as the dimension says.
bool sgi_dimension_below_channels(const std::vector<uint8_t>& file) {
    if (file.size() < 12) return false;
    const unsigned dimension = file[4] << 8 | file[5], z = file[10] << 8 | file[11];
    return dimension < 3 && z != 1;
}

bool documented_difference(const std::vector<uint8_t>& file) {
    if (kFormat == "rgb") return sgi_dimension_below_channels(file);
    if (kFormat == "pcx") return pcx_run_crosses_line(file);
    if (kTiff) return tiff_strips_damaged(file);
    if (kFormat == "tga") return targa_gray_with_map(file);
    if (kFormat == "png") {
        const double gamma = png_file_gamma(file);
        return gamma > 0 && std::fabs(gamma * 2.2 - 1.0) >= 0.01;
    }
    return false;
}

// Outcome counts, printed at exit.
struct Counts {
    unsigned long both = 0, neither = 0, container_only = 0, extended_only = 0, same_reader = 0;
    unsigned long documented = 0;  // both read, pictures not compared by a documented rule
    unsigned long rules_only = 0;  // TIFF: the load's rules and the extended reader's disagree
} counts;

void print_counts() {
    std::fprintf(
        stderr,
        "diff %s: both read %lu (same decoder %lu, documented difference %lu), neither %lu, "
        "container only %lu, extended only %lu",
        kFormat.c_str(), counts.both, counts.same_reader, counts.documented, counts.neither,
        counts.container_only, counts.extended_only);
    if (kTiff) std::fprintf(stderr, ", load rules alone %lu", counts.rules_only);
    std::fprintf(stderr, "\n");
}

// Keeps the first inputs of each one-sided kind for a look.
void keep_sample(const char* kind, unsigned long seen, const std::vector<uint8_t>& file) {
    const char* dir = std::getenv("QUORVEL_DIFF_SAMPLES");
    if (dir == nullptr || seen > 20) return;
    const std::string path = std::string(dir) + "/" + kFormat + "-" + kind + "-" +
                             std::to_string(getpid()) + "-" + std::to_string(seen);
    fuzz::write_file(path, file.data(), file.size());
}

[[noreturn]] void differ(const char* what, int x, int y, const Rgba& a, const Rgba& b) {
    std::fprintf(stderr, "diff %s: %s\n", kFormat.c_str(), what);
    std::fprintf(stderr, "  container %dx%d%s, extended %dx%d%s\n", a.width, a.height,
                 a.alpha ? " alpha" : "", b.width, b.height, b.alpha ? " alpha" : "");
    if (x >= 0) {
        const uint8_t* p = &a.pixels[(size_t(y) * a.width + x) * 4];
        const uint8_t* q = &b.pixels[(size_t(y) * b.width + x) * 4];
        std::fprintf(stderr,
                     "  pixel (%d, %d) from the top: container %u %u %u %u, extended %u %u %u %u\n",
                     x, y, p[0], p[1], p[2], p[3], q[0], q[1], q[2], q[3]);
    }
    std::abort();
}

void compare(const Rgba& a, const Rgba& b) {
    if (a.width != b.width || a.height != b.height) differ("sizes differ", -1, -1, a, b);
    const int channels = a.alpha && b.alpha ? 4 : 3;
    const int tol = tolerance();
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const size_t at = (size_t(y) * a.width + x) * 4;
            for (int c = 0; c < channels; ++c)
                if (std::abs(int(a.pixels[at + c]) - int(b.pixels[at + c])) > tol)
                    differ("pixels differ", x, y, a, b);
        }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::install_silent_presenter();
    api::start_library();  // hands the container its PSD decoder, as a library load does
    readers::file_format_list();
    std::atexit(print_counts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wsq::DiagCapture quiet;
    std::vector<uint8_t> file(data, data + size);
    if (kFormat == "png") fuzz::refresh_png_crcs(file);

    std::optional<Rgba> container;
    const Extended ext = extended(file);
    if (kTiff) {
        const std::optional<Rgba> load = container_tiff(file, {});
        container = container_tiff(file, {.apply_orientation = false, .stored_colours = true});
        if (load.has_value() != ext.picture.has_value()) ++counts.rules_only;
    } else {
        container = container_file(file);
    }
    if (container && ext.picture) {
        ++counts.both;
        // The fallback is the same libtiff read: nothing to compare.
        if (ext.by_fallback) ++counts.same_reader;
        else if (documented_difference(file)) ++counts.documented;
        else compare(*container, *ext.picture);
    } else if (container) {
        keep_sample("container-only", ++counts.container_only, file);
    } else if (ext.picture) {
        keep_sample("extended-only", ++counts.extended_only, file);
    } else {
        ++counts.neither;
    }
    return 0;
}
