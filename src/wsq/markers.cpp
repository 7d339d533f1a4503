// Markers, segment dispatch and skipping, and the bit reader of the entropy-coded data.
#include <cstdlib>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/stream.h"

namespace quorvel::wsq {
namespace {

bool is_table_or_comment(unsigned short marker) {
    return marker == DTT_WSQ || marker == DQT_WSQ || marker == DHT_WSQ || marker == COM_WSQ;
}

}  // namespace

int getc_marker_wsq(unsigned short* omarker, MarkerClass type, InputCursor& in) {
    unsigned short marker;
    if (int ret = getc_u16(&marker, in)) return ret;
    switch (type) {
        case MarkerClass::Soi:
            if (marker != SOI_WSQ) {
                diag("ERROR : getc_marker_wsq : No SOI marker. {%u}\n", marker);
                return kNoSoiMarker;
            }
            break;
        case MarkerClass::TablesOrSof:
            if (!is_table_or_comment(marker) && marker != SOF_WSQ) {
                diag("ERROR : getc_marker_wsq : No SOF, Table, or comment markers.\n");
                return kNoSofOrTableMarker;
            }
            break;
        case MarkerClass::TablesOrSob:
            if (!is_table_or_comment(marker) && marker != SOB_WSQ) {
                diag("ERROR : getc_marker_wsq : No SOB, Table, or comment markers.\n");
                return kNoSobOrTableMarker;
            }
            break;
        case MarkerClass::Any:
            if ((marker & 0xFF00) != 0xFF00) {
                diag("ERROR : getc_marker_wsq : no marker found {%04X}\n", marker);
                return kNoMarker;
            }
            break;
        default:
            diag("ERROR : getc_marker_wsq : Invalid marker -> {%4X}\n", marker);
            return kInvalidMarkerClass;
    }
    *omarker = marker;
    return 0;
}

int getc_table_wsq(unsigned short marker, DecoderState& state, InputCursor& in) {
    switch (marker) {
        case DTT_WSQ:
            return getc_transform_table(state.dtt, in);
        case DQT_WSQ:
            return getc_quant_table(state.dqt, in);
        case DHT_WSQ:
            return getc_huffman_table_wsq(state.dht, in);
        case COM_WSQ: {
            char* comment = nullptr;
            const int ret = getc_comment(&comment, in);
            std::free(comment);
            return ret;
        }
        default:
            diag("ERROR: getc_table_wsq : Invalid table defined -> {%u}\n", marker);
            return kInvalidTableMarker;
    }
}

int getc_skip_marker_segment(unsigned short marker, InputCursor& in) {
    unsigned short length;
    if (int ret = getc_u16(&length, in)) return ret;
    // A length below 2 cannot count its own two bytes: the segment is malformed.
    if (length < 2) {
        diag("ERROR : getc_skip_marker_segment : marker %d segment length %d is below 2\n", marker,
             length);
        return kSegmentTooShort;
    }
    const long m = length - 2;
    if (in.end - in.pos > m) {
        in.pos += m;
        return 0;
    }
    diag("ERROR : getc_skip_marker_segment : ");
    diag("unexpected end of buffer when parsing ");
    diag("marker %d segment of length %d\n", marker, static_cast<int>(m));
    return kSegmentPastEnd;
}

namespace {

// One read of the bit reader; allow_marker is true only for a read that starts on a fresh
// byte and wants one bit, the one place a marker can end the data.
int next_bits(unsigned short* obits, unsigned short* omarker, InputCursor& in, int* bit_count,
              int bits_req, bool allow_marker, DecoderState& state) {
    if (*bit_count == 0) {
        if (int ret = getc_byte(&state.code, in)) return ret;
        *bit_count = 8;
        if (state.code == 0xFF) {
            if (int ret = getc_byte(&state.code2, in)) return ret;
            if (state.code2 != 0x00 && bits_req == 1 && allow_marker) {
                *omarker = static_cast<unsigned short>((state.code << 8) | state.code2);
                return 0;
            }
            if (state.code2 != 0x00) {
                diag("ERROR: getc_nextbits_wsq : No stuffed zeros\n");
                return kNoStuffedZero;
            }
        }
    }
    unsigned int bits;
    if (bits_req <= *bit_count) {
        bits = (state.code >> (*bit_count - bits_req)) & ((1u << bits_req) - 1u);
        *bit_count -= bits_req;
        state.code = static_cast<unsigned char>(state.code & ((1u << *bit_count) - 1u));
    } else {
        const int need = bits_req - *bit_count;
        bits = static_cast<unsigned int>(state.code) << need;
        *bit_count = 0;
        unsigned short rest;
        // A marker here would cut a value in two: it is an error, never the end of a block.
        if (int ret = next_bits(&rest, omarker, in, bit_count, need, false, state)) return ret;
        bits |= rest;
    }
    *obits = static_cast<unsigned short>(bits);
    return 0;
}

}  // namespace

int getc_nextbits_wsq(unsigned short* obits, unsigned short* omarker, InputCursor& in,
                      int* bit_count, int bits_req, DecoderState& state) {
    if (bits_req < 1 || bits_req > 16) {
        *obits = 0;
        return 0;
    }
    return next_bits(obits, omarker, in, bit_count, bits_req, true, state);
}

}  // namespace quorvel::wsq
