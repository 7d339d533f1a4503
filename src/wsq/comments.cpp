// Scans over a stream's segments up to its first block: the NIST_COM lookup and the comment
// extraction of the stream export and the file adapter.
#include <cstdlib>
#include <cstring>

#include "wsq/nistcom.h"
#include "wsq/stream.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {
namespace {

// True when the COM segment at the cursor (just after its marker) holds a text that begins
// with "NIST_COM"; looks only at bytes inside the buffer.
bool is_nistcom_segment(const InputCursor& in) {
    const long need = 2 + 8;
    if (in.end - in.pos < need) return false;
    const unsigned int length = (static_cast<unsigned int>(in.pos[0]) << 8) | in.pos[1];
    if (length < need) return false;
    return std::memcmp(in.pos + 2, NISTCOM_NAME, 8) == 0;
}

}  // namespace

int find_nistcom_comment(FetList** onistcom, const unsigned char* data, int len) {
    InputCursor in{data, data + (len > 0 ? len : 0)};
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::Soi, in)) return ret;
    for (;;) {
        if (int ret = getc_marker_wsq(&marker, MarkerClass::Any, in)) return ret;
        if (marker == SOB_WSQ) {
            *onistcom = nullptr;
            return 0;
        }
        if (marker == COM_WSQ && is_nistcom_segment(in)) {
            char* text = nullptr;
            if (int ret = getc_comment(&text, in)) return ret;
            const int ret = string2fet(onistcom, text);
            std::free(text);
            return ret;
        }
        if (int ret = getc_skip_marker_segment(marker, in)) return ret;
    }
}

int scan_comments(const unsigned char* data, size_t length, char** comment) {
    InputCursor in{data, data + length};
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::Soi, in)) return ret;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::Any, in)) return ret;
    char* allocated = nullptr;  // the last text this scan handed out
    while (marker != SOB_WSQ) {
        if (marker == COM_WSQ) {
            char* text = nullptr;
            if (getc_comment(&text, in) != 0) break;
            std::free(allocated);
            allocated = text;
            *comment = text;
        } else if (getc_skip_marker_segment(marker, in) != 0) {
            break;
        }
        if (getc_marker_wsq(&marker, MarkerClass::Any, in) != 0) break;
    }
    return 0;
}

}  // namespace quorvel::wsq
