// What the C++ API reports about a stream beside its pixels, taken from the stream walk of
// wsq/stream_report.h: its comments and NIST_COM attributes, and the whole StreamInfo for info().
#pragma once

#include <quorvel/quorvel.hpp>

#include "wsq/stream_report.h"

namespace quorvel::cpp {

std::vector<Attribute> attributes_of(const wsq::StreamInfo& walked);

// Fills image.comment (the last comment that is not the NIST_COM one) and image.attributes
// from a stream the decoder has accepted.
void add_comments(Image& image, const std::uint8_t* data, std::size_t size);

StreamInfo public_info(const wsq::StreamInfo& walked);

}  // namespace quorvel::cpp
