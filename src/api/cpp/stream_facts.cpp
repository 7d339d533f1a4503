#include "api/cpp/stream_facts.h"

#include <cstring>

#include "api/cpp/codec_call.h"
#include "wsq/nistcom.h"

namespace quorvel::cpp {
namespace {

bool is_nistcom(const std::string& comment) {
    return comment.compare(0, std::strlen(wsq::NISTCOM_NAME), wsq::NISTCOM_NAME) == 0;
}

Segment public_segment(const wsq::SegmentInfo& segment) {
    return Segment{segment.marker, wsq::marker_name(segment.marker), segment.offset, segment.length,
                   segment.coded_bytes};
}

Frame public_frame(const wsq::WsqFrameHeader& f) {
    return Frame{f.width, f.height, f.m_shift,     f.r_scale,
                 f.black, f.white,  f.WSQ_encoder, f.Software};
}

}  // namespace

std::vector<Attribute> attributes_of(const wsq::StreamInfo& walked) {
    std::vector<Attribute> attributes;
    for (const auto& [name, value] : walked.nistcom) attributes.push_back(Attribute{name, value});
    return attributes;
}

void add_comments(Image& image, const std::uint8_t* data, std::size_t size) {
    // Comments precede the blocks, so a walk that stops at later damage still has them all.
    wsq::StreamInfo walked;
    std::string unused;
    wsq::inspect_stream(data, size, walked, unused);
    for (const std::string& comment : walked.comments) {
        if (!is_nistcom(comment)) image.comment = comment;
    }
    image.attributes = attributes_of(walked);
}

StreamInfo public_info(const wsq::StreamInfo& walked) {
    StreamInfo info;
    for (const wsq::SegmentInfo& segment : walked.segments)
        info.segments.push_back(public_segment(segment));
    if (walked.frame) info.frame = public_frame(*walked.frame);
    info.transform_taps = walked.transform_taps;
    info.bin_centers = walked.bin_centers;
    info.huffman_ids = walked.huffman_ids;
    info.block_tables = walked.block_tables;
    info.comments = walked.comments;
    info.attributes = attributes_of(walked);
    return info;
}

}  // namespace quorvel::cpp

namespace quorvel {

StreamInfo info(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr && size != 0) cpp::invalid_argument("info", "no data");
    wsq::StreamInfo walked;
    std::string error;
    if (!wsq::inspect_stream(data, size, walked, error)) throw Error(kNotWsq, "info: " + error);
    return cpp::public_info(walked);
}

StreamInfo info(const std::vector<std::uint8_t>& data) { return info(data.data(), data.size()); }

}  // namespace quorvel
