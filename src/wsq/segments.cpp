// Readers and writers of the transform, quantization, frame, block and comment segments.
#include <cstdlib>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/quantize.h"
#include "wsq/stream.h"

namespace quorvel::wsq {
namespace {

// One coefficient record of a DTT segment: sign byte, scale byte, 32-bit value.
int getc_coefficient(float* ovalue, InputCursor& in) {
    unsigned char sign, scale;
    unsigned int value;
    if (int ret = getc_byte(&sign, in)) return ret;
    if (int ret = getc_byte(&scale, in)) return ret;
    if (int ret = getc_u32(&value, in)) return ret;
    float v = decode_scaled_decimal(value, scale);
    if (sign != 0) v = -v;
    *ovalue = v;
    return 0;
}

// Reads ceil(size / 2) records into half[] (which holds that many).
int getc_half_filter(float* half, int size, InputCursor& in) {
    const int count = (size + 1) / 2;
    for (int c = 0; c < count; ++c)
        if (int ret = getc_coefficient(&half[c], in)) return ret;
    return 0;
}

float alternate(int c, float v) { return (c % 2 == 0) ? v : -v; }

// Mirrors the transmitted half of a filter into the full synthesis filter. For an even length
// the right half starts with sign `even_first_sign` (+1 for hifilt, -1 for lofilt).
void mirror_filter(float* full, int size, const float* half, int even_first_sign) {
    const int count = (size + 1) / 2;
    const int h = count - 1;
    for (int c = 0; c < count; ++c) {
        if (size % 2 == 1) {
            full[h + c] = alternate(c, half[c]);
            if (c > 0) full[h - c] = full[h + c];
        } else {
            const float v = alternate(c, half[c]);
            full[h + c + 1] = (even_first_sign > 0) ? v : -v;
            full[h - c] = (even_first_sign > 0) ? -full[h + c + 1] : full[h + c + 1];
        }
    }
}

float* calloc_floats(int n) {
    return static_cast<float*>(std::calloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(float)));
}

struct TransformArrays {
    float* lofilt = nullptr;
    float* hifilt = nullptr;
    float* a_lofilt = nullptr;
    float* a_hifilt = nullptr;
    ~TransformArrays() {
        std::free(lofilt);
        std::free(hifilt);
        std::free(a_lofilt);
        std::free(a_hifilt);
    }
};

int allocate_transform(TransformArrays& t, int hisize, int losize) {
    if (!(t.lofilt = calloc_floats(losize))) {
        diag("ERROR : getc_transform_table : calloc : lofilt\n");
        return kTransformNoMemoryLow;
    }
    if (!(t.hifilt = calloc_floats(hisize))) {
        diag("ERROR : getc_transform_table : calloc : hifilt\n");
        return kTransformNoMemoryHigh;
    }
    if (!(t.a_lofilt = calloc_floats((hisize + 1) / 2))) {
        diag("ERROR : getc_transform_table : calloc : a_lofilt\n");
        return kTransformNoMemoryLowCoefficients;
    }
    if (!(t.a_hifilt = calloc_floats((losize + 1) / 2))) {
        diag("ERROR : getc_transform_table : calloc : a_hifilt\n");
        return kTransformNoMemoryHighCoefficients;
    }
    return 0;
}

// Writes the right half of an analysis filter (from index size / 2) as coefficient records.
int putc_half_filter(const float* filter, int size, int overflow_code, const char* name,
                     OutputBuffer& out) {
    for (int i = size / 2; i < size; ++i) {
        float v = filter[i];
        unsigned char sign = 0;
        if (v < 0.0f) {
            sign = 1;
            v = -v;
        }
        if (static_cast<double>(v) >= static_cast<double>(SCALED_U32_MAX)) {
            diag("ERROR: putc_transform_table : %s[%d] to high at %f\n", name, i, v);
            return overflow_code;
        }
        unsigned char scale;
        unsigned int value;
        encode_scaled_decimal(v, SCALED_U32_MAX, &scale, &value);
        if (int ret = putc_byte(sign, out)) return ret;
        if (int ret = putc_byte(scale, out)) return ret;
        if (int ret = putc_u32(value, out)) return ret;
    }
    return 0;
}

int getc_scaled_u16(float* ovalue, InputCursor& in) {
    unsigned char scale;
    unsigned short value;
    if (int ret = getc_byte(&scale, in)) return ret;
    if (int ret = getc_u16(&value, in)) return ret;
    *ovalue = decode_scaled_decimal(value, scale);
    return 0;
}

int putc_scaled_u16(float x, OutputBuffer& out) {
    unsigned char scale;
    unsigned int value;
    encode_scaled_decimal(x, SCALED_U16_MAX, &scale, &value);
    if (int ret = putc_byte(scale, out)) return ret;
    return putc_u16(static_cast<unsigned short>(value), out);
}

}  // namespace

void release_transform_table(WsqTransformTable& table) {
    std::free(table.lofilt);
    std::free(table.hifilt);
    table.lofilt = nullptr;
    table.hifilt = nullptr;
}

int getc_transform_table(WsqTransformTable& table, InputCursor& in) {
    unsigned short length;
    unsigned char hisize, losize;
    if (int ret = getc_u16(&length, in)) return ret;
    if (int ret = getc_byte(&hisize, in)) return ret;
    if (int ret = getc_byte(&losize, in)) return ret;

    TransformArrays t;
    if (int ret = allocate_transform(t, hisize, losize)) return ret;
    if (int ret = getc_half_filter(t.a_lofilt, hisize, in)) return ret;
    if (int ret = getc_half_filter(t.a_hifilt, losize, in)) return ret;
    mirror_filter(t.hifilt, hisize, t.a_lofilt, +1);
    mirror_filter(t.lofilt, losize, t.a_hifilt, -1);

    // Only a fully read table replaces the one in the record.
    release_transform_table(table);
    table.lofilt = t.lofilt;
    table.hifilt = t.hifilt;
    t.lofilt = t.hifilt = nullptr;
    table.losize = losize;
    table.hisize = hisize;
    table.lo_defined = 1;
    table.hi_defined = 1;
    return 0;
}

int putc_transform_table(const float* lofilt, int losize, const float* hifilt, int hisize,
                         OutputBuffer& out) {
    if (int ret = putc_u16(DTT_WSQ, out)) return ret;
    if (int ret = putc_u16(58, out)) return ret;
    if (int ret = putc_byte(static_cast<unsigned char>(losize), out)) return ret;
    if (int ret = putc_byte(static_cast<unsigned char>(hisize), out)) return ret;
    if (int ret = putc_half_filter(lofilt, losize, -82, "lofilt", out)) return ret;
    return putc_half_filter(hifilt, hisize, -83, "hifilt", out);
}

int getc_quant_table(WsqQuantTable& table, InputCursor& in) {
    unsigned short length;
    if (int ret = getc_u16(&length, in)) return ret;
    if (int ret = getc_scaled_u16(&table.bin_center, in)) return ret;
    for (int k = 0; k < MAX_SUBBANDS; ++k) {
        if (int ret = getc_scaled_u16(&table.bin_width[k], in)) return ret;
        if (int ret = getc_scaled_u16(&table.zero_bin_width[k], in)) return ret;
    }
    table.defined = 1;
    return 0;
}

int putc_quantization_table(const float* bin_width, const float* zero_bin_width,
                            OutputBuffer& out) {
    if (int ret = putc_u16(DQT_WSQ, out)) return ret;
    if (int ret = putc_u16(389, out)) return ret;
    if (int ret = putc_byte(2, out)) return ret;
    if (int ret = putc_u16(44, out)) return ret;
    for (int k = 0; k < MAX_SUBBANDS; ++k) {
        unsigned char qscale = 0, zscale = 0;
        unsigned int qvalue = 0, zvalue = 0;
        if (k < NUM_SUBBANDS && bin_width[k] != 0.0f) {
            if (static_cast<double>(bin_width[k]) >= SCALED_U16_MAX) {
                diag("ERROR : putc_quantization_table : Q[%d] to high at %f\n", k, bin_width[k]);
                return kQuantWidthTooHigh;
            }
            if (static_cast<double>(zero_bin_width[k]) >= SCALED_U16_MAX) {
                diag("ERROR : putc_quantization_table : Z[%d] to high at %f\n", k,
                     zero_bin_width[k]);
                return kZeroBinTooHigh;
            }
            encode_scaled_decimal(bin_width[k], SCALED_U16_MAX, &qscale, &qvalue);
            encode_scaled_decimal(zero_bin_width[k], SCALED_U16_MAX, &zscale, &zvalue);
        }
        if (int ret = putc_byte(qscale, out)) return ret;
        if (int ret = putc_u16(static_cast<unsigned short>(qvalue), out)) return ret;
        if (int ret = putc_byte(zscale, out)) return ret;
        if (int ret = putc_u16(static_cast<unsigned short>(zvalue), out)) return ret;
    }
    return 0;
}

int putc_quantization_table(const WsqQuantization& quant, OutputBuffer& out) {
    return putc_quantization_table(quant.bin_width, quant.zero_bin_width, out);
}

int getc_frame_header(WsqFrameHeader& frame, InputCursor& in) {
    unsigned short length;
    if (int ret = getc_u16(&length, in)) return ret;
    if (int ret = getc_byte(&frame.black, in)) return ret;
    if (int ret = getc_byte(&frame.white, in)) return ret;
    if (int ret = getc_u16(&frame.height, in)) return ret;
    if (int ret = getc_u16(&frame.width, in)) return ret;
    if (int ret = getc_scaled_u16(&frame.m_shift, in)) return ret;
    if (int ret = getc_scaled_u16(&frame.r_scale, in)) return ret;
    if (int ret = getc_byte(&frame.WSQ_encoder, in)) return ret;
    return getc_u16(&frame.Software, in);
}

int putc_frame_header(int width, int height, float m_shift, float r_scale, OutputBuffer& out) {
    if (int ret = putc_u16(SOF_WSQ, out)) return ret;
    if (int ret = putc_u16(17, out)) return ret;
    if (int ret = putc_byte(0, out)) return ret;
    if (int ret = putc_byte(255, out)) return ret;
    if (int ret = putc_u16(static_cast<unsigned short>(height), out)) return ret;
    if (int ret = putc_u16(static_cast<unsigned short>(width), out)) return ret;
    if (int ret = putc_scaled_u16(m_shift, out)) return ret;
    if (int ret = putc_scaled_u16(r_scale, out)) return ret;
    if (int ret = putc_byte(0, out)) return ret;
    return putc_u16(0, out);
}

int getc_block_hdr(unsigned char* ohuff_table, InputCursor& in) {
    unsigned short length;
    if (int ret = getc_u16(&length, in)) return ret;
    return getc_byte(ohuff_table, in);
}

int putc_block_hdr(int table, OutputBuffer& out) {
    if (int ret = putc_u16(SOB_WSQ, out)) return ret;
    if (int ret = putc_u16(3, out)) return ret;
    return putc_byte(static_cast<unsigned char>(table), out);
}

int getc_comment(char** ocomment, InputCursor& in) {
    unsigned short length;
    if (int ret = getc_u16(&length, in)) return ret;
    // A length below 2 cannot count its own two bytes: the segment is malformed.
    if (length < 2) {
        diag("ERROR : getc_comment : segment length %d is below 2\n", length);
        return kCommentTooShort;
    }
    const int n = length - 2;
    char* comment = static_cast<char*>(std::calloc(static_cast<size_t>(n) + 1, 1));
    if (comment == nullptr) {
        diag("ERROR : getc_comment : malloc : comment\n");
        return kCommentNoMemory;
    }
    if (int ret = getc_bytes(reinterpret_cast<unsigned char*>(comment), n, in)) {
        std::free(comment);
        return ret;
    }
    *ocomment = comment;
    return 0;
}

int putc_comment_segment(unsigned short marker, const char* comment, int n, OutputBuffer& out) {
    // The length field counts itself: a longer text would wrap it and corrupt the stream.
    if (n < 0 || n > MAX_COMMENT_LENGTH) {
        diag("ERROR : putc_comment_segment : comment of %d bytes is longer than %d\n", n,
             MAX_COMMENT_LENGTH);
        return kCommentTooLong;
    }
    if (int ret = putc_u16(marker, out)) return ret;
    if (int ret = putc_u16(static_cast<unsigned short>(n + 2), out)) return ret;
    for (int i = 0; i < n; ++i)
        if (int ret = putc_byte(static_cast<unsigned char>(comment[i]), out)) return ret;
    return 0;
}

}  // namespace quorvel::wsq
