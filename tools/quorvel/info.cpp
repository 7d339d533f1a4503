// `info`: the segments of a WSQ file and what its header segments hold.
#include <cstdio>

#include "commands.h"
#include "wsq/stream_report.h"

namespace quorvel::tool {
namespace {

using wsq::marker_name;
using wsq::SegmentInfo;
using wsq::StreamInfo;

void print_segments(const StreamInfo& info) {
    std::printf("Segments (marker, offset, length):\n");
    for (const SegmentInfo& segment : info.segments) {
        std::printf("  %04X %-3s %10zu", segment.marker, marker_name(segment.marker),
                    segment.offset);
        if (segment.length >= 0) std::printf(" %6d", segment.length);
        if (segment.marker == 0xFFA3)
            std::printf("  + %zu bytes of coded data", segment.coded_bytes);
        std::printf("\n");
    }
}

void print_ids(const char* title, const std::vector<int>& ids) {
    std::printf("%s:", title);
    for (int id : ids) std::printf(" %d", id);
    std::printf("%s\n", ids.empty() ? " none" : "");
}

void print_tables(const StreamInfo& info) {
    if (info.frame) {
        const wsq::WsqFrameHeader& f = *info.frame;
        std::printf(
            "Frame: %u x %u, shift %.7g, scale %.7g, black %u, white %u, encoder %u, software %u\n",
            f.width, f.height, f.m_shift, f.r_scale, f.black, f.white, f.WSQ_encoder, f.Software);
    } else {
        std::printf("Frame: none\n");
    }
    for (const auto& [low, high] : info.transform_taps) {
        std::printf("Transform: synthesis filters of %d low-pass and %d high-pass taps\n", low,
                    high);
    }
    for (float centre : info.bin_centers) std::printf("Quantization: bin centre %.7g\n", centre);
    print_ids("Huffman tables defined", info.huffman_ids);
    print_ids("Huffman tables used by the blocks", info.block_tables);
}

void print_comments(const StreamInfo& info) {
    std::printf("NIST_COM attributes:%s\n", info.nistcom.empty() ? " none" : "");
    for (const auto& [name, value] : info.nistcom) {
        std::printf("  %-20s %s\n", name.c_str(), value ? value->c_str() : "(no value)");
    }
    std::printf("Comments: %zu\n", info.comments.size());
    for (size_t i = 0; i < info.comments.size(); ++i) {
        std::printf("  [%zu] ", i + 1);
        for (char c : info.comments[i]) {
            if (c == '\n') {
                std::printf("\n      ");
            } else {
                std::putchar(c);
            }
        }
        std::printf("\n");
    }
}

}  // namespace

int run_info(const std::string& input) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!read_whole_file(input, bytes, error)) {
        report_error(error);
        return 1;
    }
    StreamInfo info;
    const bool ok = wsq::inspect_stream(bytes, info, error);
    if (!ok && info.segments.empty()) {
        report_error(input + ": " + error);
        return 1;
    }
    std::printf("%s: %zu bytes\n", input.c_str(), bytes.size());
    print_segments(info);
    print_tables(info);
    print_comments(info);
    if (!ok) {
        report_error(input + ": " + error);
        return 1;
    }
    return 0;
}

}  // namespace quorvel::tool
