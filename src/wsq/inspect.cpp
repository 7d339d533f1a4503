#include "stream_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wsq/diag.h"
#include "wsq/nistcom.h"
#include "wsq/stream.h"

namespace quorvel::tool {
namespace {

using wsq::InputCursor;

std::string at(size_t offset) { return " at offset " + std::to_string(offset); }

void read_nistcom(const char* text, StreamInfo& info) {
    wsq::FetList* list = nullptr;
    if (wsq::string2fet(&list, text) != 0 || list == nullptr) return;
    for (int i = 0; i < list->count; ++i) {
        std::optional<std::string> value;
        if (list->values[i] != nullptr) value = list->values[i];
        info.nistcom.emplace_back(list->names[i], value);
    }
    wsq::release_fet(list);
}

bool read_comment(InputCursor segment, StreamInfo& info) {
    char* text = nullptr;
    if (wsq::getc_comment(&text, segment) != 0) return false;
    info.comments.emplace_back(text != nullptr ? text : "");
    if (text != nullptr && std::strncmp(text, wsq::NISTCOM_NAME, std::strlen(wsq::NISTCOM_NAME)) == 0) {
        read_nistcom(text, info);
    }
    std::free(text);
    return true;
}

// Reads one segment's content with the codec's reader; the cursor spans exactly the segment,
// from its length field on.
bool read_segment(unsigned marker, InputCursor segment, StreamInfo& info) {
    switch (marker) {
    case wsq::SOF_WSQ: {
        wsq::WsqFrameHeader frame;
        if (wsq::getc_frame_header(frame, segment) != 0) return false;
        info.frame = frame;
        return true;
    }
    case wsq::DTT_WSQ: {
        wsq::WsqTransformTable table;
        const bool ok = wsq::getc_transform_table(table, segment) == 0;
        if (ok) info.transform_taps.emplace_back(table.losize, table.hisize);
        wsq::release_transform_table(table);
        return ok;
    }
    case wsq::DQT_WSQ: {
        wsq::WsqQuantTable table;
        if (wsq::getc_quant_table(table, segment) != 0) return false;
        info.bin_centers.push_back(table.bin_center);
        return true;
    }
    case wsq::DHT_WSQ: {
        wsq::WsqHuffmanTable tables[wsq::MAX_DHT_TABLES];
        if (wsq::getc_huffman_table_wsq(tables, segment) != 0) return false;
        for (int id = 0; id < wsq::MAX_DHT_TABLES; ++id) {
            if (tables[id].defined) info.huffman_ids.push_back(id);
        }
        return true;
    }
    case wsq::SOB_WSQ: {
        unsigned char table = 0;
        if (wsq::getc_block_hdr(&table, segment) != 0) return false;
        info.block_tables.push_back(table);
        return true;
    }
    case wsq::COM_WSQ:
        return read_comment(segment, info);
    default:
        return true;  // other segments are listed, not interpreted
    }
}

// Coded data runs up to the next marker: a 0xFF that is not followed by a stuffed 0x00.
size_t skip_coded_data(InputCursor& in) {
    const unsigned char* start = in.pos;
    while (in.pos < in.end) {
        if (in.pos[0] == 0xFF && in.pos + 1 < in.end && in.pos[1] != 0x00) break;
        ++in.pos;
    }
    return static_cast<size_t>(in.pos - start);
}

}  // namespace

const char* marker_name(unsigned marker) {
    switch (marker) {
    case wsq::SOI_WSQ: return "SOI";
    case wsq::EOI_WSQ: return "EOI";
    case wsq::SOF_WSQ: return "SOF";
    case wsq::SOB_WSQ: return "SOB";
    case wsq::DTT_WSQ: return "DTT";
    case wsq::DQT_WSQ: return "DQT";
    case wsq::DHT_WSQ: return "DHT";
    case wsq::DRT_WSQ: return "DRT";
    case wsq::COM_WSQ: return "COM";
    default: return "?";
    }
}

bool inspect_stream(const std::vector<uint8_t>& bytes, StreamInfo& info, std::string& error) {
    wsq::DiagCapture quiet;  // the readers' own lines; the tool words its own message
    const unsigned char* base = bytes.data();
    InputCursor in{base, base + bytes.size()};
    unsigned short marker = 0;
    if (wsq::getc_marker_wsq(&marker, wsq::MarkerClass::Soi, in) != 0) {
        error = "not a WSQ stream (no SOI marker at the start)";
        return false;
    }
    info.segments.push_back({marker, 0, -1, 0});
    while (in.pos < in.end) {
        const size_t offset = static_cast<size_t>(in.pos - base);
        if (wsq::getc_marker_wsq(&marker, wsq::MarkerClass::Any, in) != 0) {
            error = "no marker" + at(offset);
            return false;
        }
        if (marker == wsq::EOI_WSQ) {
            info.segments.push_back({marker, offset, -1, 0});
            info.ended = true;
            return true;
        }
        InputCursor peek = in;
        unsigned short length = 0;
        if (wsq::getc_u16(&length, peek) != 0 || length < 2 || length > in.end - in.pos) {
            error = std::string(marker_name(marker)) + " segment" + at(offset) + " has a bad length";
            return false;
        }
        if (!read_segment(marker, InputCursor{in.pos, in.pos + length}, info)) {
            error = std::string(marker_name(marker)) + " segment" + at(offset) + " cannot be read";
            return false;
        }
        in.pos += length;
        SegmentInfo segment{marker, offset, length, 0};
        if (marker == wsq::SOB_WSQ) segment.coded_bytes = skip_coded_data(in);
        info.segments.push_back(segment);
    }
    error = "the stream ends without an EOI marker";
    return false;
}

}  // namespace quorvel::tool
