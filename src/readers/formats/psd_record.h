// The container's PSD decoder: the extended readers' Photoshop class decodes the file into a
// toolkit bitmap, whose rows then become a 24-bit (or, with alpha, 32-bit) record. The
// library's start-up hands it to the container (raster::SetPsdDecoder).
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/bmg_image.h"

namespace quorvel::readers {

raster::BMGError psd_to_record(const uint8_t* data, size_t size, raster::BMGImage* img);

}  // namespace quorvel::readers
