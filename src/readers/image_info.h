// What a reader learns from a file's header before it decodes anything: the image
// information record, with the colour model and compression codes the readers share.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel::readers {

// Colour models, shared by the information record and the colour manager.
enum ColorModel : uint8_t {
    cmNone = 0,
    cmIndexed = 1,
    cmGray = 2,
    cmGrayAlpha = 3,
    cmRGB = 4,
    cmRGBA = 5,
    cmBGR = 6,
    cmBGRA = 7,
    cmCMY = 8,
    cmCMYK = 9,
    cmCIELab = 10,
    cmYCbCr = 11,
    cmPhotoYCC = 12,
};

// Compression codes of the information record (TIFF maps its own values onto these).
enum CompressionCode : uint8_t {
    ctUnknown = 0,
    ctNone = 1,
    ctRLE = 2,
    ctPackedBits = 3,
    ctLZW = 4,
    ctFax3 = 5,
    ctFaxRLE = 6,
    ctFax4 = 7,
    ctFaxRLEW = 8,
    ctLZ77 = 9,
    ctJPEG = 10,
    ctOJPEG = 11,
    ctThunderscan = 12,
    ctNext = 13,
    ctIT8CTPAD = 14,
    ctIT8LW = 15,
    ctIT8MP = 16,
    ctIT8BL = 17,
    ctPixarFilm = 18,
    ctPixarLog = 19,
    ctDCS = 20,
    ctJBIG = 21,
    ctPCDHuffmann = 22,
};

struct ReaderImageInfo {
    uint32_t info_options = 0;  // reader-specific option bits
    uint32_t version = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t color_model = cmNone;
    uint8_t sample_bits = 0;
    uint8_t samples = 0;
    uint8_t pixel_bits = 0;
    uint8_t compression = ctUnknown;
    float gamma = 1.0f;
    float x_resolution = 0.0f;
    float y_resolution = 0.0f;
    std::string comment;  // text a format carries (RLA description, PSP creator), if any
};

}  // namespace quorvel::readers
