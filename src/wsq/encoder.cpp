#include "wsq/encoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "wsq/diag.h"
#include "wsq/filter_bank.h"
#include "wsq/huffman.h"
#include "wsq/lanes.h"
#include "wsq/nistcom.h"
#include "wsq/parallel_lines.h"
#include "wsq/quantize.h"
#include "wsq/stream.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {
namespace {

// The frame header stores each side in 16 bits.
constexpr int kMaxSide = 65535;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

template <typename T>
HeapPtr<T> heap_array(size_t count) {
    return HeapPtr<T>(static_cast<T*>(std::malloc(count * sizeof(T))));
}

// Refuses sizes the filter bank, the frame header or 32-bit lengths cannot carry.
int check_size(int w, int h) {
    if (!filter_bank_fits(w, h)) {
        diag("ERROR : wsq_encode_1 : image too small : %d x %d (at least %d x %d)\n", w, h,
             kMinFilterBankSize, kMinFilterBankSize);
        return kEncodeTooSmall;
    }
    if (w > kMaxSide || h > kMaxSide || static_cast<int64_t>(w) * h > INT_MAX) {
        diag("ERROR : wsq_encode_1 : image too large : %d x %d\n", w, h);
        return kEncodeTooLarge;
    }
    return 0;
}

// The quantized image: coefficients of subbands 0..59 and the lengths of the three blocks.
struct Quantized {
    HeapPtr<short> sip;
    int count = 0;
    int block[3] = {};
};

// Pixels to coefficients: normalise, decompose, measure and quantize.
int transform_and_quantize(EncoderState& state, EncodeWorkspace& work, Quantized& out, float* shift,
                           float* scale, float r_bitrate, const unsigned char* idata, int w,
                           int h) {
    const size_t pixels = static_cast<size_t>(w) * h;
    if (!fit(work.image, pixels)) {
        diag("ERROR : wsq_encode_1 : malloc : fdata\n");
        return kEncodeNoImageMemory;
    }
    float* fdata = work.image.data();
    pixels_to_float(fdata, shift, scale, idata, pixels, state.threads);
    build_subband_trees(*state.trees, w, h);
    int ret = wsq_decompose(fdata, work.scratch, w, h, state.trees->nodes, kAnalysisHighPass,
                            kHighPassTaps, kAnalysisLowPass, kLowPassTaps, state.threads);
    if (ret != 0) return ret;
    WsqQuantization& quant = *state.quant;
    quant.bitrate = r_bitrate;
    quant.q = 0.0f;
    quant.cr = 0.0f;
    subband_variance(&quant, state.trees->subbands, fdata, w, h, lanes_for(pixels, state.threads));
    int16_t* sip = nullptr;
    ret = quantize(&sip, &out.count, &quant, state.trees->subbands, fdata, w, h, state.threads);
    if (ret != 0) return ret;
    out.sip.reset(sip);
    block_coefficient_counts(&out.block[0], &out.block[1], &out.block[2], &quant,
                             state.trees->nodes, state.trees->subbands);
    if (out.block[0] + out.block[1] + out.block[2] != out.count) {
        diag("ERROR : wsq_encode_1 : problem w/quantization block sizes\n");
        return kEncodeBlockSizes;
    }
    return 0;
}

// SOI, the comments, DTT, DQT and SOF.
int write_headers(const EncoderState& state, OutputBuffer& out, float shift, float scale,
                  float r_bitrate, int w, int h, int d, int ppi, const char* comment_text) {
    int ret = putc_u16(SOI_WSQ, out);
    if (ret == 0) ret = put_wsq_comments(comment_text, w, h, d, ppi, 1, r_bitrate, out);
    if (ret == 0)
        ret = putc_transform_table(kAnalysisLowPass, kLowPassTaps, kAnalysisHighPass, kHighPassTaps,
                                   out);
    if (ret == 0) ret = putc_quantization_table(*state.quant, out);
    if (ret == 0) ret = putc_frame_header(w, h, shift, scale, out);
    return ret;
}

// The symbol counts of blocks 1..3 (each with the reserved slot), the coded blocks and their
// two tables: blocks are counted and coded each on a lane of their own, which cannot change
// a bit of them.
struct CodedBlocks {
    int counts[kCodedBlocks][MAX_HUFFCOUNTS_WSQ + 1] = {};
    HeapPtr<WsqHuffcode> codes[2];
    HeapPtr<unsigned char> bits[2], values[2];
    CodedBlock coded[kCodedBlocks];
};

// Table 0 from block 1's counts, table 1 from those of blocks 2 and 3.
int make_tables(CodedBlocks& c) {
    for (int i = 0; i < MAX_HUFFCOUNTS_WSQ; ++i) c.counts[1][i] += c.counts[2][i];
    for (int t = 0; t < 2; ++t) {
        WsqHuffcode* codes = nullptr;
        unsigned char *bits = nullptr, *values = nullptr;
        if (int ret = make_hufftable(&codes, &bits, &values, c.counts[t])) return ret;
        c.codes[t].reset(codes);
        c.bits[t].reset(bits);
        c.values[t].reset(values);
    }
    return 0;
}

// Block 1 with table 0; blocks 2 and 3 with table 1, built from both. Each block has a buffer
// of a byte a pixel (only the pages it writes cost memory).
int write_blocks(OutputBuffer& out, EncodeWorkspace& work, Quantized& q, int pixels, int threads,
                 int* hsize) {
    const short* start[kCodedBlocks] = {q.sip.get(), q.sip.get() + q.block[0],
                                        q.sip.get() + q.block[0] + q.block[1]};
    for (UnclearedBuffer<unsigned char>& buffer : work.blocks) {
        if (!fit(buffer, static_cast<size_t>(pixels))) {
            diag("ERROR : wsq_encode_1 : malloc : huff_buf\n");
            return kEncodeNoHuffMemory;
        }
    }
    CodedBlocks c;
    for (auto& counts : c.counts) counts[MAX_HUFFCOUNTS_WSQ] = 1;
    run_parts(kCodedBlocks, threads - 1,
              [&](int b) { add_block_counts(c.counts[b], start[b], q.block[b]); });
    if (int ret = make_tables(c)) return ret;
    run_parts(kCodedBlocks, threads - 1, [&](int b) {
        c.coded[b] = code_block(work.blocks[b].data(), pixels, start[b], q.block[b],
                                c.codes[b == 0 ? 0 : 1].get());
    });
    q.sip.reset();
    int ret = 0;
    for (int b = 0; b < kCodedBlocks && ret == 0; ++b) {
        const int table = b == 0 ? 0 : 1;
        if (b < 2)
            ret = putc_huff_table(DHT_WSQ, table, c.bits[table].get(), c.values[table].get(), out);
        if (ret == 0) ret = report_block(c.coded[b], pixels);
        hsize[b] = c.coded[b].bytes;
        if (ret == 0) ret = putc_block_hdr(table, out);
        if (ret == 0) ret = putc_bytes(work.blocks[b].data(), hsize[b], out);
    }
    return ret;
}

void print_statistics(const int* hsize, float r_bitrate, int w, int h) {
    const int complen = hsize[0] + hsize[1] + hsize[2];
    diag("hsize1 = %d :: hsize2 = %d :: hsize3 = %d\n", hsize[0], hsize[1], hsize[2]);
    // A stream with no coded bytes (a flat image) prints an infinite ratio.
    const double ratio = static_cast<double>(w) * h / static_cast<double>(complen);
    diag("@ r = %.3f :: complen = %d :: ratio = %.1f\n", r_bitrate, complen, ratio);
}

// An encode whose arguments passed the checks, with the given buffers.
int encode_checked(EncoderState& state, EncodeWorkspace& work, unsigned char** odata, int* olen,
                   float r_bitrate, const unsigned char* idata, int w, int h, int d, int ppi,
                   const char* comment_text) {
    Quantized q;
    float shift = 0.0f, scale = 0.0f;
    int ret = transform_and_quantize(state, work, q, &shift, &scale, r_bitrate, idata, w, h);
    if (ret != 0) return ret;
    const int pixels = w * h;
    HeapPtr<unsigned char> wsq_data = heap_array<unsigned char>(static_cast<size_t>(pixels));
    if (!wsq_data) {
        diag("ERROR : wsq_encode_1 : malloc : wsq_data\n");
        return kEncodeNoOutputMemory;
    }
    OutputBuffer out{wsq_data.get(), pixels, 0};
    ret = write_headers(state, out, shift, scale, r_bitrate, w, h, d, ppi, comment_text);
    if (ret != 0) return ret;
    int hsize[3] = {};
    ret = write_blocks(out, work, q, pixels, lanes_for(pixels, state.threads), hsize);
    if (ret == 0) ret = putc_u16(EOI_WSQ, out);
    if (ret != 0) return ret;
    print_statistics(hsize, r_bitrate, w, h);
    *odata = wsq_data.release();
    *olen = out.length;
    return 0;
}

constexpr size_t kConversionLine = 4096;

// fdata[i] = level[data[i]] for i in [from, from + n), four at a time: a store each is all the
// work, and a loop of one runs at the mercy of where the linker puts it.
void convert_levels(float* fdata, const unsigned char* data, const float (&level)[256], size_t from,
                    size_t n) {
    size_t i = from;
    for (; i + 4 <= from + n; i += 4) {
        const float a = level[data[i]], b = level[data[i + 1]];
        const float c = level[data[i + 2]], d = level[data[i + 3]];
        fdata[i] = a;
        fdata[i + 1] = b;
        fdata[i + 2] = c;
        fdata[i + 3] = d;
    }
    for (; i < from + n; ++i) fdata[i] = level[data[i]];
}  // pixels a thread part is counted in

}  // namespace

void pixels_to_float(float* fdata, float* shift, float* scale, const unsigned char* data,
                     size_t num_pix, int threads) {
    const int lines = static_cast<int>((num_pix + kConversionLine - 1) / kConversionLine);
    auto span = [&](int first, int count, auto&& f) {
        const size_t from = static_cast<size_t>(first) * kConversionLine;
        f(from, std::min(num_pix, static_cast<size_t>(first + count) * kConversionLine) - from);
    };
    PixelRange range;
    std::mutex merging;
    over_lines(lines, static_cast<long long>(num_pix), threads, [&](int first, int count) {
        PixelRange part;
        span(first, count, [&](size_t from, size_t n) { add_pixel_range(part, data + from, n); });
        const std::lock_guard<std::mutex> lock(merging);
        range.smallest = std::min(range.smallest, part.smallest);
        range.largest = std::max(range.largest, part.largest);
        range.sum += part.sum;
    });
    const float m_shift = static_cast<float>(static_cast<long double>(range.sum) / num_pix);
    const float d1 = static_cast<float>(static_cast<long double>(m_shift) - range.smallest);
    const float d2 = static_cast<float>(range.largest - static_cast<long double>(m_shift));
    const float r_scale = (d1 >= d2 ? d1 : d2) * 0.0078125f;
    // One long double division per gray level, not per pixel: the same value for equal pixels.
    float level[256];
    for (int p = 0; p < 256; ++p)
        level[p] = static_cast<float>((p - static_cast<long double>(m_shift)) / r_scale);
    over_lines(lines, static_cast<long long>(num_pix), threads, [&](int first, int count) {
        span(first, count,
             [&](size_t from, size_t n) { convert_levels(fdata, data, level, from, n); });
    });
    *shift = m_shift;
    *scale = r_scale;
}

EncoderState process_encoder_state() {
    static EncodeWorkspace work;
    return EncoderState{&process_trees(), &process_quantization(), 1, &work};
}

int wsq_encode(EncoderState& state, unsigned char** odata, int* olen, float r_bitrate,
               const unsigned char* idata, int w, int h, int d, int ppi, const char* comment_text) {
    if (odata == nullptr || olen == nullptr || idata == nullptr) {
        diag("ERROR : wsq_encode_1 : null argument\n");
        return kEncodeNullArgument;
    }
    if (std::isnan(r_bitrate)) {
        diag("ERROR : wsq_encode_1 : bitrate is not a number\n");
        return kEncodeBadBitrate;
    }
    if (int ret = check_size(w, h)) return ret;
    EncodeWorkspace own;
    EncodeWorkspace& work = state.work != nullptr ? *state.work : own;
    const int ret =
        encode_checked(state, work, odata, olen, r_bitrate, idata, w, h, d, ppi, comment_text);
    trim(work, static_cast<size_t>(w) * static_cast<size_t>(h));
    return ret;
}

int wsq_encode_1(unsigned char** odata, int* olen, float r_bitrate, const unsigned char* idata,
                 int w, int h, int d, int ppi, const char* comment_text) {
    EncoderState state = process_encoder_state();
    return wsq_encode(state, odata, olen, r_bitrate, idata, w, h, d, ppi, comment_text);
}

}  // namespace quorvel::wsq
