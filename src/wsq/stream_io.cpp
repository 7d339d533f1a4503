// Byte primitives over the input cursor and the output buffer, and scaled decimals.
#include <cstring>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/stream.h"

namespace quorvel::wsq {

int getc_byte(unsigned char* ochar, InputCursor& in) {
    if (in.pos >= in.end) {
        diag("ERROR : getc_byte : premature End Of Buffer\n");
        return kEndOfBufferByte;
    }
    *ochar = *in.pos++;
    return 0;
}

int getc_bytes(unsigned char* ochars, int n, InputCursor& in) {
    if (n < 0 || in.end - in.pos < n) {
        diag("ERROR : getc_bytes : premature End Of Buffer\n");
        return kEndOfBufferBytes;
    }
    std::memcpy(ochars, in.pos, static_cast<size_t>(n));
    in.pos += n;
    return 0;
}

int getc_u16(unsigned short* oshrt, InputCursor& in) {
    unsigned char b[2];
    if (int ret = getc_bytes(b, 2, in)) return ret;
    *oshrt = static_cast<unsigned short>((b[0] << 8) | b[1]);
    return 0;
}

int getc_u32(unsigned int* oint, InputCursor& in) {
    unsigned char b[4];
    if (int ret = getc_bytes(b, 4, in)) return ret;
    *oint = (static_cast<unsigned int>(b[0]) << 24) | (static_cast<unsigned int>(b[1]) << 16) |
            (static_cast<unsigned int>(b[2]) << 8) | b[3];
    return 0;
}

int putc_byte(unsigned char value, OutputBuffer& out) {
    if (out.length >= out.alloc) {
        diag("ERROR : putc_byte : buffer overlow : alloc = %d, request = %d\n", out.alloc,
             out.length);
        return kOutputFullByte;
    }
    out.data[out.length++] = value;
    return 0;
}

int putc_bytes(const unsigned char* values, int n, OutputBuffer& out) {
    const long long request = static_cast<long long>(out.length) + n;
    if (n < 0 || request > out.alloc) {
        diag("ERROR : putc_bytes : buffer overlow : alloc = %d, request = %d\n", out.alloc,
             static_cast<int>(request));
        return kOutputFullBytes;
    }
    if (n > 0) std::memcpy(out.data + out.length, values, static_cast<size_t>(n));
    out.length += n;
    return 0;
}

int putc_u16(unsigned short value, OutputBuffer& out) {
    const unsigned char b[2] = {static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value)};
    return putc_bytes(b, 2, out);
}

int putc_u32(unsigned int value, OutputBuffer& out) {
    const unsigned char b[4] = {
        static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
        static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    return putc_bytes(b, 4, out);
}

void encode_scaled_decimal(float x, unsigned int limit, unsigned char* oscale,
                           unsigned int* ovalue) {
    // Not a number, zero and (never expected) negative values are all stored as 0.
    if (!(x > 0.0f)) {
        *oscale = 0;
        *ovalue = 0;
        return;
    }
    int scale = 0;
    // Scale up (rounding to single precision each time) until the value reaches the limit;
    // the last step is then undone in extended precision, keeping every digit that fits.
    while (static_cast<double>(x) < static_cast<double>(limit)) {
        ++scale;
        x = x * 10.0f;
    }
    --scale;
    const long double tenth = static_cast<long double>(0.1);
    long double v = static_cast<long double>(x) * tenth + 0.5L;
    if (scale < 0) {  // x was already at the limit: keep it unscaled
        scale = 0;
        v = static_cast<long double>(x) + 0.5L;
    }
    if (v >= 18446744073709551615.0L) v = 18446744073709551615.0L;
    const unsigned long long whole = static_cast<unsigned long long>(v);
    *oscale = static_cast<unsigned char>(scale);
    *ovalue = static_cast<unsigned int>(whole & limit);
}

float decode_scaled_decimal(unsigned int value, unsigned int scale) {
    float f = static_cast<float>(value);
    const long double tenth = static_cast<long double>(0.1);
    for (unsigned int i = 0; i < scale; ++i)
        f = static_cast<float>(static_cast<long double>(f) * tenth);
    return f;
}

}  // namespace quorvel::wsq
