#include "readers/format_table.h"

#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

using enum LoadRoute;
using toolkit::bitmap_class, toolkit::icon_class, toolkit::jpeg_class, toolkit::metafile_class;
constexpr bool kDispatch = true, kNoDispatch = false;

// clang-format off
const FormatRow kFormats[] = {
    {"wsq", Wsq, kDispatch, nullptr, "", "WSQ fingerprint images", 0},
    {"ico", Icon, kNoDispatch, icon_class, "Windows icons", "", fkRaster},
    {"wmf", Metafile, kNoDispatch, metafile_class, "Windows metafiles", "", fkVector},
    {"emf", Metafile, kNoDispatch, metafile_class, "Windows metafiles", "Windows enhanced meta files", fkVector},
    {"jpg", Jpeg, kDispatch, nullptr, "", "", 0},
    {"jpeg", Jpeg, kNoDispatch, nullptr, "", "", 0},
    {"jpe", Jpeg, kNoDispatch, nullptr, "", "JPEG images", 0},
    {"jfif", PictureLoader, kNoDispatch, jpeg_class, "JPG images", "JFIF images", fkRaster},
    {"bmp", PictureLoader, kDispatch, nullptr, "", "", 0},
    {"rle", PictureLoader, kNoDispatch, bitmap_class, "Windows bitmaps", "Run length encoded Windows bitmaps", fkRaster},
    {"dib", PictureLoader, kNoDispatch, bitmap_class, "", "Device independant Windows bitmaps", fkRaster},
    {"win", PictureLoader, kNoDispatch, targa_graphic_class, "Truevision images", "", fkRaster},
    {"vst", PictureLoader, kNoDispatch, targa_graphic_class, "", "", fkRaster},
    {"vda", PictureLoader, kNoDispatch, targa_graphic_class, "", "", fkRaster},
    {"tga", Container, kDispatch, targa_graphic_class, "", "", fkRaster},
    {"icb", PictureLoader, kNoDispatch, targa_graphic_class, "", "", fkRaster},
    {"tiff", PictureLoader, kDispatch, tiff_graphic_class, "Tagged image file format images", "Macintosh TIFF images", fkRaster | fkMultiImage},
    {"tif", PictureLoader, kDispatch, tiff_graphic_class, "", "PC TIF images", fkRaster | fkMultiImage},
    {"fax", PictureLoader, kNoDispatch, tiff_graphic_class, "", "GFI fax images", fkRaster | fkMultiImage},
    {"eps", PictureLoader, kNoDispatch, eps_graphic_class, "Encapsulated Postscript images", "", fkRaster},
    {"pcx", Container, kDispatch, pcx_graphic_class, "ZSoft Paintbrush images", "", fkRaster},
    {"pcc", PictureLoader, kNoDispatch, pcx_graphic_class, "", "", fkRaster},
    {"scr", PictureLoader, kNoDispatch, pcx_graphic_class, "", "Word 5.x screen capture images", fkRaster},
    {"rpf", PictureLoader, kNoDispatch, rla_graphic_class, "Alias/Wavefront images", "", fkRaster},
    {"rla", PictureLoader, kNoDispatch, rla_graphic_class, "", "", fkRaster},
    {"sgi", PictureLoader, kNoDispatch, sgi_graphic_class, "SGI images", "SGI true color images", fkRaster},
    {"rgba", Container, kDispatch, sgi_graphic_class, "", "SGI true color images with alpha", fkRaster},
    {"rgb", Container, kDispatch, sgi_graphic_class, "", "SGI true color images", fkRaster},
    {"bw", PictureLoader, kNoDispatch, sgi_graphic_class, "", "SGI black/white images", fkRaster},
    {"psd", PictureLoader, kDispatch, psd_graphic_class, "Photoshop images", "", fkRaster | fkLayered},
    {"pdd", PictureLoader, kNoDispatch, psd_graphic_class, "", "", fkRaster | fkLayered},
    {"ppm", PictureLoader, kNoDispatch, ppm_graphic_class, "Portable map images", "Portable pixel map images", fkRaster},
    {"pgm", PictureLoader, kNoDispatch, ppm_graphic_class, "", "Portable gray map images", fkRaster},
    {"pbm", PictureLoader, kNoDispatch, ppm_graphic_class, "", "Portable bitmap images", fkRaster},
    {"cel", Container, kDispatch, autodesk_graphic_class, "Autodesk images", "", fkRaster},
    {"pic", PictureLoader, kNoDispatch, autodesk_graphic_class, "Autodesk images", "", fkRaster},
    {"pcd", PictureLoader, kNoDispatch, pcd_graphic_class, "Kodak Photo-CD images", "", fkRaster},
    {"cut", PictureLoader, kNoDispatch, cut_graphic_class, "Dr. Halo images", "", fkRaster},
    {"psp", PictureLoader, kNoDispatch, psp_graphic_class, "Paintshop Pro images", "", fkRaster | fkVector},
    {"png", Container, kDispatch, png_graphic_class, "Portable network graphic images", "", fkRaster},
    {"gif", Container, kDispatch, nullptr, "", "CompuServe GIF images", 0},
    {"iff", Container, kDispatch, nullptr, "", "Amiga IFF images", 0},
};
// clang-format on

}  // namespace

std::span<const FormatRow> format_table() { return kFormats; }

const FormatRow* find_format(const std::string& extension) {
    for (const FormatRow& row : kFormats)
        if (extension == row.extension) return &row;
    return nullptr;
}

}  // namespace quorvel::readers
