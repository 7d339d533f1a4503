#include "wsq/stream_report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wsq/diag.h"
#include "wsq/nistcom.h"
#include "wsq/stream.h"

namespace quorvel::wsq {
namespace {

std::string at(size_t offset) { return " at offset " + std::to_string(offset); }

void read_nistcom(const char* text, StreamInfo& info) {
    FetList* list = nullptr;
    if (string2fet(&list, text) != 0 || list == nullptr) return;
    for (int i = 0; i < list->count; ++i) {
        std::optional<std::string> value;
        if (list->values[i] != nullptr) value = list->values[i];
        info.nistcom.emplace_back(list->names[i], value);
    }
    release_fet(list);
}

bool read_comment(InputCursor segment, StreamInfo& info) {
    char* text = nullptr;
    if (getc_comment(&text, segment) != 0) return false;
    info.comments.emplace_back(text != nullptr ? text : "");
    if (text != nullptr && std::strncmp(text, NISTCOM_NAME, std::strlen(NISTCOM_NAME)) == 0) {
        read_nistcom(text, info);
    }
    std::free(text);
    return true;
}

// Reads one segment's content with the codec's reader; the cursor spans exactly the segment,
// from its length field on.
bool read_segment(unsigned marker, InputCursor segment, StreamInfo& info) {
    switch (marker) {
        case SOF_WSQ: {
            WsqFrameHeader frame;
            if (getc_frame_header(frame, segment) != 0) return false;
            info.frame = frame;
            return true;
        }
        case DTT_WSQ: {
            WsqTransformTable table;
            const bool ok = getc_transform_table(table, segment) == 0;
            if (ok) info.transform_taps.emplace_back(table.losize, table.hisize);
            release_transform_table(table);
            return ok;
        }
        case DQT_WSQ: {
            WsqQuantTable table;
            if (getc_quant_table(table, segment) != 0) return false;
            info.bin_centers.push_back(table.bin_center);
            return true;
        }
        case DHT_WSQ: {
            WsqHuffmanTable tables[MAX_DHT_TABLES];
            if (getc_huffman_table_wsq(tables, segment) != 0) return false;
            for (int id = 0; id < MAX_DHT_TABLES; ++id) {
                if (tables[id].defined) info.huffman_ids.push_back(id);
            }
            return true;
        }
        case SOB_WSQ: {
            unsigned char table = 0;
            if (getc_block_hdr(&table, segment) != 0) return false;
            info.block_tables.push_back(table);
            return true;
        }
        case COM_WSQ:
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
        case SOI_WSQ:
            return "SOI";
        case EOI_WSQ:
            return "EOI";
        case SOF_WSQ:
            return "SOF";
        case SOB_WSQ:
            return "SOB";
        case DTT_WSQ:
            return "DTT";
        case DQT_WSQ:
            return "DQT";
        case DHT_WSQ:
            return "DHT";
        case DRT_WSQ:
            return "DRT";
        case COM_WSQ:
            return "COM";
        default:
            return "?";
    }
}

bool inspect_stream(const uint8_t* bytes, size_t size, StreamInfo& info, std::string& error) {
    DiagCapture quiet;  // the readers' own lines; the caller words its own message
    const unsigned char* base = bytes;
    InputCursor in{base, base + (bytes != nullptr ? size : 0)};
    unsigned short marker = 0;
    if (getc_marker_wsq(&marker, MarkerClass::Soi, in) != 0) {
        error = "not a WSQ stream (no SOI marker at the start)";
        return false;
    }
    info.segments.push_back({marker, 0, -1, 0});
    while (in.pos < in.end) {
        const size_t offset = static_cast<size_t>(in.pos - base);
        if (getc_marker_wsq(&marker, MarkerClass::Any, in) != 0) {
            error = "no marker" + at(offset);
            return false;
        }
        if (marker == EOI_WSQ) {
            info.segments.push_back({marker, offset, -1, 0});
            info.ended = true;
            return true;
        }
        InputCursor peek = in;
        unsigned short length = 0;
        if (getc_u16(&length, peek) != 0 || length < 2 || length > in.end - in.pos) {
            error =
                std::string(marker_name(marker)) + " segment" + at(offset) + " has a bad length";
            return false;
        }
        if (!read_segment(marker, InputCursor{in.pos, in.pos + length}, info)) {
            error = std::string(marker_name(marker)) + " segment" + at(offset) + " cannot be read";
            return false;
        }
        in.pos += length;
        SegmentInfo segment{marker, offset, length, 0};
        if (marker == SOB_WSQ) segment.coded_bytes = skip_coded_data(in);
        info.segments.push_back(segment);
    }
    error = "the stream ends without an EOI marker";
    return false;
}

}  // namespace quorvel::wsq
