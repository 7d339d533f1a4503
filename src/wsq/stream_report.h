// A WSQ stream taken apart without decoding it: its segments in order and what the header
// segments say, read with the codec's own segment readers (the tool's `info`, the C++ API's
// info()).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "wsq/records.h"

namespace quorvel::wsq {

struct SegmentInfo {
    unsigned marker = 0;
    size_t offset = 0;       // of the marker
    int length = -1;         // the length field (it counts itself); -1 for SOI and EOI
    size_t coded_bytes = 0;  // entropy-coded data after a block header
};

struct StreamInfo {
    std::vector<SegmentInfo> segments;
    std::optional<WsqFrameHeader> frame;
    std::vector<std::pair<int, int>> transform_taps;  // low-pass, high-pass
    std::vector<float> bin_centers;                   // one per quantization table
    std::vector<int> huffman_ids;                     // tables defined, in order
    std::vector<int> block_tables;                    // the table each block uses
    std::vector<std::string> comments;
    // Attributes of every comment that begins with "NIST_COM"; a value may be missing.
    std::vector<std::pair<std::string, std::optional<std::string>>> nistcom;
    bool ended = false;  // an EOI marker was reached
};

// Walks the stream from SOI to EOI. False, with a message in `error`, when it is not a WSQ
// stream or a segment cannot be read; what was read up to there stays in `info`. Prints
// nothing and keeps no state.
bool inspect_stream(const uint8_t* bytes, size_t size, StreamInfo& info, std::string& error);
inline bool inspect_stream(const std::vector<uint8_t>& bytes, StreamInfo& info,
                           std::string& error) {
    return inspect_stream(bytes.data(), bytes.size(), info, error);
}

const char* marker_name(unsigned marker);

}  // namespace quorvel::wsq
