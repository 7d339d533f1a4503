// The decoder driver: tables and frame, resolution, entropy decoding, inverse quantization,
// reconstruction and conversion to bytes.
#include "wsq/decoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/filter_bank.h"
#include "wsq/huffman.h"
#include "wsq/image_sink.h"
#include "wsq/nistcom.h"
#include "wsq/parallel_lines.h"
#include "wsq/quantize.h"
#include "wsq/tree.h"
#include "wsq/wsq.h"

namespace quorvel::wsq {

namespace {

// Tables and comments up to SOF, then the frame header.
int read_header(DecoderState& state, InputCursor& in) {
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::Soi, in)) return ret;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in)) return ret;
    while (marker != SOF_WSQ) {
        if (int ret = getc_table_wsq(marker, state, in)) return ret;
        if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSof, in)) return ret;
    }
    return getc_frame_header(state.frame, in);
}

// Refuses frames the filter bank cannot transform (a zero side among them), frames whose
// pixel count the 32-bit geometry cannot index and frames over the caller's limits.
int check_frame(const FrameLimits& limits, int width, int height) {
    if (!filter_bank_fits(width, height)) {
        diag("ERROR: wsq_decode_mem : image of %d x %d is below the %d x %d minimum\n", width,
             height, kMinFilterBankSize, kMinFilterBankSize);
        return kDecodeTooSmall;
    }
    if (static_cast<long long>(width) * height > INT_MAX) {
        diag("ERROR: wsq_decode_mem : malloc : qdata1\n");
        return kDecodeNoCoefficientMemory;
    }
    // The coefficients (short), the float image and the pixels are all sized by the frame.
    const uint64_t bytes = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) *
                           (sizeof(short) + sizeof(float) + 1);
    // Both sides are positive here: the filter bank refused the rest.
    const bool over =
        static_cast<uint64_t>(height) > limits.max_pixels / static_cast<uint64_t>(width);
    if (over || bytes > limits.max_bytes) {
        diag("ERROR: wsq_decode_mem : image of %d x %d is over the load limits\n", width, height);
        return kDecodeNoCoefficientMemory;
    }
    return 0;
}

// The most coefficients one bit of coded data can stand for: symbol 106, a code of one bit or
// more and 16 bits of count, is a run of up to 65535 zeros; every other symbol gives at most
// 100 coefficients for a bit (the zero runs 1..100) and fewer for longer codes.
constexpr uint64_t kRunCoefficients = 65535;
constexpr uint64_t kRunBits = 17;

// Before the coefficients are sized: the tables and the first block header must follow the
// frame, and the bytes after that header must be able to code every coefficient of the
// subbands the quantization table codes. The segments are read into a scratch state (the
// decode reads them again), which starts from the last stream's quantization table as the
// decode does.
int check_coded_data(const DecoderState& state, InputCursor in, int width, int height) {
    DecoderState scratch;
    scratch.dqt = state.dqt;
    unsigned short marker;
    if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in)) return ret;
    while (marker != SOB_WSQ) {
        if (int ret = getc_table_wsq(marker, scratch, in)) return ret;
        if (int ret = getc_marker_wsq(&marker, MarkerClass::TablesOrSob, in)) return ret;
    }
    unsigned char table_id;
    if (int ret = getc_block_hdr(&table_id, in)) return ret;
    WsqTrees trees;
    build_subband_trees(trees, width, height);
    uint64_t coefficients = 0;
    for (int k = 0; k < kCodedSubbands; ++k)
        if (is_coded(scratch.dqt, k))
            coefficients += uint64_t{static_cast<uint32_t>(trees.subbands[k].lx)} *
                            static_cast<uint32_t>(trees.subbands[k].ly);
    const auto coded_bytes = static_cast<uint64_t>(in.end - in.pos);
    if (coefficients * kRunBits > coded_bytes * 8 * kRunCoefficients) {
        diag(
            "ERROR: wsq_decode_mem : image of %d x %d needs more than the %llu coded bytes "
            "present\n",
            width, height, static_cast<unsigned long long>(coded_bytes));
        return kDecodeNoCoefficientMemory;
    }
    return 0;
}

// Entropy decoding into an array of indices, then inverse quantization under the last
// quantization table: for the streams that define one after their first block.
int decode_flat(DecoderState& state, const WsqTrees& trees, InputCursor& in, int width,
                int height) {
    const size_t num_pix = static_cast<size_t>(width) * static_cast<size_t>(height);
    DecodeWorkspace& work = state.work;
    if (!fit(work.coefficients, num_pix)) {
        diag("ERROR: wsq_decode_mem : malloc : qdata1\n");
        return kDecodeNoCoefficientMemory;
    }
    short* qdata = work.coefficients.data();
    std::fill_n(qdata, num_pix, short{0});  // what the stream leaves out stays zero
    if (int ret = huffman_decode_data_mem(qdata, num_pix, state, in, nullptr, true)) return ret;
    return unquantize_into(work.image.data(), &state.dqt, trees.subbands, qdata, width, height,
                           state.threads);
}

// The serial decode straight into the image. Its diagnostics are held until it is known not
// to start over flat, which would show them again.
int decode_into_image(DecoderState& state, const WsqTrees& trees, InputCursor& in, int width,
                      int height) {
    const size_t num_pix = static_cast<size_t>(width) * static_cast<size_t>(height);
    const WsqQuantTable quantization = state.dqt;
    const InputCursor start = in;
    std::string held;
    int ret;
    {
        DiagCapture capture;
        ret = huffman_decode_image(state.work.image.data(), width, num_pix, state, in,
                                   trees.subbands);
        held = capture.text();
    }
    if (ret == kQuantizationAfterBlock) {
        state.dqt = quantization;  // as it stood: the flat decode reads every table again
        in = start;
        return decode_flat(state, trees, in, width, height);
    }
    if (!held.empty()) diag("%s", held.c_str());
    return ret != 0 ? ret : check_unquantize_table(state.dqt);
}

// Entropy decoding and inverse quantization into the workspace's floating-point image, which
// the coefficients reach in place: on lanes when the stream is laid out as encoders write it,
// else serially.
int decode_coefficients(DecoderState& state, const WsqTrees& trees, InputCursor& in, int width,
                        int height) {
    const size_t num_pix = static_cast<size_t>(width) * static_cast<size_t>(height);
    DecodeWorkspace& work = state.work;
    if (!fit(work.image, num_pix)) {
        diag("ERROR : unquantize : calloc : fip\n");
        return kUnquantizeNoMemory;
    }
    float* image = work.image.data();
    // What the stream leaves out stays zero.
    auto zero = [&] {
        over_lines(height, static_cast<long long>(num_pix), state.threads, [&](int first, int n) {
            const size_t at = static_cast<size_t>(first) * width;
            std::fill_n(image + at, static_cast<size_t>(n) * width, 0.0f);
        });
    };
    zero();
    bool spoilt = false;
    const int lanes = lanes_for(num_pix, state.threads);
    if (huffman_decode_laid_out(image, width, num_pix, state, in, trees.subbands, lanes, &spoilt))
        return check_unquantize_table(state.dqt);
    if (spoilt) zero();
    return decode_into_image(state, trees, in, width, height);
}

// Coefficients to pixels: the three steps, into a new malloc'd image. The last level of the
// reconstruction hands over its rows, which become pixels while they are in cache.
int decode_pixels(unsigned char** ocdata, DecoderState& state, WsqTrees& trees, InputCursor& in,
                  int width, int height) {
    build_subband_trees(trees, width, height);
    if (int ret = decode_coefficients(state, trees, in, width, height)) return ret;
    const size_t num_pix = static_cast<size_t>(width) * static_cast<size_t>(height);
    // Owned until returned: the reconstruction may also throw bad_alloc.
    std::unique_ptr<unsigned char, decltype(&std::free)> cdata(
        static_cast<unsigned char*>(std::malloc(num_pix)), &std::free);
    if (cdata == nullptr) {
        diag("ERROR: wsq_decode_mem : malloc : cdata\n");
        return kDecodeNoPixelMemory;
    }
    const float shift = state.frame.m_shift, scale = state.frame.r_scale;
    unsigned char* pixels = cdata.get();
    const RowSink to_pixels = [&](int y, const float* row) {
        float_to_pixels(pixels + static_cast<size_t>(y) * width, row, static_cast<size_t>(width),
                        shift, scale);
    };
    if (int ret = wsq_reconstruct(state.work.image.data(), state.work.scratch, width, height,
                                  trees.nodes, &state.dtt, state.threads, &to_pixels))
        return ret;
    *ocdata = cdata.release();
    return 0;
}

}  // namespace

int wsq_decode(DecoderState& state, WsqTrees& trees, unsigned char** odata, int* ow, int* oh,
               int* od, int* oppi, int* lossyflag, const unsigned char* idata, int ilen) {
    for (WsqHuffmanTable& slot : state.dht) slot.defined = 0;
    state.debug = 0;

    InputCursor in{idata, idata + (idata != nullptr && ilen > 0 ? ilen : 0)};
    if (int ret = read_header(state, in)) return ret;
    const int width = state.frame.width;
    const int height = state.frame.height;
    int ppi;
    if (int ret = find_ppi_mem(&ppi, idata, ilen)) return ret;
    if (int ret = check_frame(state.limits, width, height)) return ret;
    if (int ret = check_coded_data(state, in, width, height)) return ret;

    unsigned char* cdata = nullptr;
    const int ret = decode_pixels(&cdata, state, trees, in, width, height);
    trim(state.work, static_cast<size_t>(width) * static_cast<size_t>(height));
    if (ret != 0) return ret;
    *odata = cdata;
    *ow = width;
    *oh = height;
    *od = 8;
    *oppi = ppi;
    *lossyflag = 1;
    return 0;
}

int wsq_decode_mem(unsigned char** odata, int* ow, int* oh, int* od, int* oppi, int* lossyflag,
                   const unsigned char* idata, int ilen) {
    return wsq_decode(process_decoder_state(), process_trees(), odata, ow, oh, od, oppi, lossyflag,
                      idata, ilen);
}

}  // namespace quorvel::wsq
