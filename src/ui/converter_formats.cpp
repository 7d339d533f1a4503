#include "ui/converter_formats.h"

namespace quorvel::ui {

const std::array<InputFormat, kInputFormatCount>& input_formats() {
    static const std::array<InputFormat, kInputFormatCount> kFormats = {{
        {"All Bitmap Files", ""},
        {"WSQ - FBI's Wavelet Scalar Quantization", "\\*.wsq"},
        {"BMP - Windows bitmaps", "\\*.bmp"},
        {"TIFF - Macintosh Tagged Information File Format images", "\\*.tiff"},
        {"TIF - PC Tagged Information File Format images", "\\*.tif"},
        {"JPG - Joint Photographic Experts Group images", "\\*.jpg"},
        {"JPEG - Joint Photographic Experts Group images", "\\*.jpeg"},
        {"JPE - JPE images", "\\*.jpe"},
        {"PNG - Portable network graphic images", "\\*.png"},
        {"GIF - Compuserve Graphic Interchange Format", "\\*.gif"},
        {"PSP - Paintshop Pro images", "\\*.psp"},
        {"JFIF - JFIF images", "\\*.jfif"},
        {"RLE - Run length encoded Windows bitmaps", "\\*.rle"},
        {"DIB - Device independant Windows bitmaps", "\\*.dib"},
        {"TGA - Truevision images", "\\*.tga"},
        {"WIN - Truevision images", "\\*.win"},
        {"VST - Truevision images", "\\*.vst"},
        {"VDA - Truevision images", "\\*.vda"},
        {"ICB - Truevision images", "\\*.icb"},
        {"FAX - GFI fax images", "\\*.fax"},
        {"EPS - Encapsulated Postscript images", "\\*.eps"},
        {"PCX - ZSoft Paintbrush images", "\\*.pcx"},
        {"PCC - ZSoft Paintbrush images", "\\*.pcc"},
        {"SCR - Word 5.x screen capture images", "\\*.scr"},
        {"RPF - Alias/Wavefront images", "\\*.rpf"},
        {"RLA - Alias/Wavefront images", "\\*.rla"},
        {"SGI - SGI true color images", "\\*.sgi"},
        {"RGBA - SGI true color images", "\\*.rgba"},
        {"RGB - SGI true color images", "\\*.rgb"},
        {"BW - SGI black/white images", "\\*.bw"},
        {"PSD - Photoshop images", "\\*.psd"},
        {"PDD - Photoshop images", "\\*.pdd"},
        {"PPM - Portable pixel map images", "\\*.ppm"},
        {"PGM - Portable gray map images", "\\*.pgm"},
        {"PBM - Portable bitmap images", "\\*.pbm"},
        {"CEL - Autodesk images", "\\*.cel"},
        {"PIC - Autodesk images", "\\*.pic"},
        {"PCD - Kodak Photo-CD images", "\\*.pcd"},
        {"CUT - Dr. Halo images", "\\*.cut"},
        {"IFF - Amiga Bitmap Graphic (8 bits)", "\\*.iff"},
        {"ICO - Windows icons", "\\*.ico"},
        {"WMF - Windows metafiles", "\\*.wmf"},
        {"EMF - Windows enhanced meta files", "\\*.emf"},
    }};
    return kFormats;
}

const std::array<const char*, kOutputFormatCount>& output_format_captions() {
    static const std::array<const char*, kOutputFormatCount> kCaptions = {
        "WSQ  - FBI's Wavelet Scalar Quantization",
        "BMP  - Windows Bitmap Graphics",
        "TIF - Tagged Information File Format  (no LZW compression)",
        "PNG  - Portable Network Graphics",
        "JPG  - Joint Photographic Experts Group",
        "TGA   - Truevision Targa Graphic",
        "RGB   - Silicon Graphics International (uncompressed)",
    };
    return kCaptions;
}

std::string pattern_extension(const char* pattern) {
    const std::string text = pattern;
    const size_t dot = text.rfind('.');
    return dot == std::string::npos ? std::string() : text.substr(dot + 1);
}

}  // namespace quorvel::ui
