// The decoder driver: tables and frame, resolution, entropy decoding, inverse quantization,
// reconstruction and conversion to bytes.
#include "wsq/decoder.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/filter_bank.h"
#include "wsq/huffman.h"
#include "wsq/nistcom.h"
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

// Refuses frames the filter bank cannot transform (a zero side among them) and frames whose
// pixel count the 32-bit geometry cannot index.
int check_frame(int width, int height) {
    if (!filter_bank_fits(width, height)) {
        diag("ERROR: wsq_decode_mem : image of %d x %d is below the %d x %d minimum\n", width,
             height, kMinFilterBankSize, kMinFilterBankSize);
        return kDecodeTooSmall;
    }
    if (static_cast<long long>(width) * height > INT_MAX) {
        diag("ERROR: wsq_decode_mem : malloc : qdata1\n");
        return kDecodeNoCoefficientMemory;
    }
    return 0;
}

// Entropy decoding and inverse quantization into a new floating-point image.
int decode_coefficients(float** ofdata, DecoderState& state, const WsqTrees& trees,
                        InputCursor& in, int width, int height) {
    const size_t num_pix = static_cast<size_t>(width) * static_cast<size_t>(height);
    short* qdata = static_cast<short*>(std::calloc(num_pix, sizeof(short)));
    if (qdata == nullptr) {
        diag("ERROR: wsq_decode_mem : malloc : qdata1\n");
        return kDecodeNoCoefficientMemory;
    }
    int ret = huffman_decode_data_mem(qdata, num_pix, state, in);
    if (ret == 0) ret = unquantize(ofdata, &state.dqt, trees.subbands, qdata, width, height);
    std::free(qdata);
    return ret;
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
    if (int ret = check_frame(width, height)) return ret;

    build_subband_trees(trees, width, height);
    float* fdata = nullptr;
    if (int ret = decode_coefficients(&fdata, state, trees, in, width, height)) return ret;
    if (int ret = wsq_reconstruct(fdata, width, height, trees.nodes, &state.dtt)) {
        std::free(fdata);
        return ret;
    }
    const size_t num_pix = static_cast<size_t>(width) * static_cast<size_t>(height);
    unsigned char* cdata = static_cast<unsigned char*>(std::malloc(num_pix));
    if (cdata == nullptr) {
        std::free(fdata);
        diag("ERROR: wsq_decode_mem : malloc : cdata\n");
        return kDecodeNoPixelMemory;
    }
    float_to_pixels(cdata, fdata, num_pix, state.frame.m_shift, state.frame.r_scale);
    std::free(fdata);

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
    return wsq_decode(process_decoder_state(), process_trees(), odata, ow, oh, od, oppi,
                      lossyflag, idata, ilen);
}

}  // namespace quorvel::wsq
