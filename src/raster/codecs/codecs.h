// Every container codec's entry point: readers take a file name and an initialised record,
// writers a file name and a record by value (a shallow copy sharing the caller's blocks).
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/bmg_image.h"

namespace quorvel::raster {

struct WsqFileOptions {
    int32_t depth;
    double bitrate;
    int32_t ppi;
    char* comment;
};

struct TiffFileOptions {
    uint8_t compression;
    uint8_t photometric;
    uint8_t orientation;
    uint16_t predictor;
};

// WSQ file adapter. ReadWsqFile returns 0 or a non-zero code that need not be a BMGError.
int ReadWsqFile(const char* filename, BMGImage* img, WsqFileOptions* options);
BMGError WriteWsqFile(const char* filename, BMGImage img, WsqFileOptions* options);
// Whole files to and from memory. Read: 0, -1 (cannot open), -2 (no stream), -3 (no memory),
// -4 (short read); *data is malloc'd and the caller's. Write: 0, -2 (cannot create), -3
// (short write).
int read_raw_from_filesize(const char* filename, unsigned char** data, int* length);
int write_raw_from_memsize(const char* filename, const unsigned char* data, int length);

BMGError ReadBmpFile(const char* filename, BMGImage* img);
BMGError WriteBmpFile(const char* filename, BMGImage img);

BMGError ReadPngFile(const char* filename, BMGImage* img);
BMGError WritePngFile(const char* filename, BMGImage img);

BMGError ReadTiffFile(const char* filename, BMGImage* img, void* options);
// How the TIFF reader shows a picture. The container's own reads apply the Orientation tag
// and divide associated alpha out of the colours; the extended TIFF reader's fallback keeps
// the stored order and the stored colours, as that reader's own decoders do.
struct TiffReadRules {
    bool apply_orientation = true;
    bool stored_colours = false;
};
// The same reader on a file already in memory (`size` bytes at `data`, not kept); libtiff's
// messages are not shown.
BMGError ReadTiffMemory(const uint8_t* data, size_t size, BMGImage* img,
                        const TiffReadRules& rules = {});
BMGError WriteTiffFile(const char* filename, BMGImage img, const TiffFileOptions* options);

BMGError ReadJpegFile(const char* filename, BMGImage* img);
BMGError WriteJpegFile(const char* filename, BMGImage img, int quality);

BMGError ReadTgaFile(const char* filename, BMGImage* img);
BMGError WriteTgaFile(const char* filename, BMGImage img);

BMGError ReadSgiRgbFile(const char* filename, BMGImage* img);
BMGError WriteSgiRgbFile(const char* filename, BMGImage img);
// Writes to `path` with `header_name` in the header's name field (a temporary file's writer).
BMGError WriteSgiRgbFileAs(const char* path, const char* header_name, BMGImage img);

BMGError ReadCelFile(const char* filename, BMGImage* img);
BMGError ReadGifFile(const char* filename, BMGImage* img);
BMGError ReadIffFile(const char* filename, BMGImage* img);
BMGError ReadPcxFile(const char* filename, BMGImage* img);
// Photoshop composite image. The extended readers' PSD class, a layer above the container,
// decodes it: the library's start-up hands that decoder in, and until it has, PSD files are
// refused as an extension the container cannot read.
BMGError ReadPsdFile(const char* filename, BMGImage* img);
using PsdDecoder = BMGError (*)(const uint8_t* data, size_t size, BMGImage* img);
void SetPsdDecoder(PsdDecoder decoder);

}  // namespace quorvel::raster
