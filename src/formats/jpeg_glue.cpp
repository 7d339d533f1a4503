#include "formats/jpeg_glue.h"

#include <jerror.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/limits.h"

namespace quorvel::formats {
namespace {

[[noreturn]] void error_exit(j_common_ptr cinfo) {
    JpegErrors& errors = jpeg_errors_of(cinfo);
    errors.base.format_message(cinfo, errors.message);
    std::longjmp(errors.recovery, 1);
}

// Trace messages (level >= 0) are dropped; warnings count, as libjpeg's own handler counts them.
void emit_message(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    JpegErrors& errors = jpeg_errors_of(cinfo);
    const bool first = errors.base.num_warnings++ == 0;
    if (errors.end_of_data_fails && errors.base.msg_code == JWRN_JPEG_EOF) {
        errors.ended_early = true;
        error_exit(cinfo);
    }
    if (errors.warn == nullptr || !first) return;
    char text[JMSG_LENGTH_MAX];
    errors.base.format_message(cinfo, text);
    errors.warn(text);
}

void output_message(j_common_ptr) {}

}  // namespace

JpegErrors& jpeg_errors_of(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegErrors*>(cinfo->err);
}

jpeg_error_mgr* install_jpeg_errors(JpegErrors& errors, bool end_of_data_fails,
                                    void (*warn)(const char* text)) {
    jpeg_std_error(&errors.base);
    errors.base.error_exit = error_exit;
    errors.base.emit_message = emit_message;
    errors.base.output_message = output_message;
    errors.message[0] = '\0';
    errors.end_of_data_fails = end_of_data_fails;
    errors.ended_early = false;
    errors.warn = warn;
    return &errors.base;
}

long jpeg_memory_limit() {
    const uint64_t limit = platform::load_limits().max_decoder_memory;
    return static_cast<long>(std::min<uint64_t>(limit, std::numeric_limits<long>::max()));
}

bool jpeg_not_a_jpeg(const JpegErrors& errors) {
    return !errors.ended_early && errors.base.msg_code == JERR_NO_SOI;
}

}  // namespace quorvel::formats
