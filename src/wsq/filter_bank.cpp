#include "wsq/filter_bank.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "wsq/diag.h"
#include "wsq/records.h"

namespace quorvel::wsq {
namespace {

constexpr float from_bits(uint32_t bits) { return std::bit_cast<float>(bits); }

// Symmetric extension that does not repeat the end samples: -1 -> 1, n -> n - 2.
int reflect_whole(int i, int n) {
    if (i < 0) return -i;
    if (i > n - 1) return 2 * (n - 1) - i;
    return i;
}

// Band index reflections of the synthesis step; some edges repeat their last sample.
int reflect_low(int i, int llen, bool n_even) {
    if (i < 0) return -i;
    if (i > llen - 1) return n_even ? 2 * llen - 1 - i : 2 * (llen - 1) - i;
    return i;
}
int reflect_high(int i, int hlen, bool n_even) {
    if (i < 0) return -1 - i;
    if (i > hlen - 1) return n_even ? 2 * (hlen - 1) - i : 2 * hlen - 1 - i;
    return i;
}

// Sample i of a line whose samples are `step` apart.
inline const float* at(const float* line, int i, int step) {
    return line + static_cast<std::ptrdiff_t>(i) * step;
}
inline float* at(float* line, int i, int step) {
    return line + static_cast<std::ptrdiff_t>(i) * step;
}

// The multiply-add of the filter bank: the exact product of two floats added to a single
// precision sum and rounded once.
inline float mul_add(float a, float b, float sum) { return std::fmaf(a, b, sum); }

// The line kernels get a clone for processors with fused multiply-add, where fmaf is one
// instruction and the loops across lines vectorise; the results are the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(QUORVEL_NO_LINE_CLONES)
#define QUORVEL_LINE_KERNEL [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define QUORVEL_LINE_KERNEL
#endif

// One output sample per line for `lines` lines at once: out[l * line_step] = sum over taps of
// taps[t] * src[t][l * line_step], the first product rounded, then each addition rounded.
// Each line does the same operations in the same order, so running them side by side
// changes no result.
QUORVEL_LINE_KERNEL void filter_lines(float* out, const float* const* src, const float* taps,
                                      int ntaps, int lines, int line_step) {
    if (line_step == 1) {
        for (int l = 0; l < lines; ++l) out[l] = taps[0] * src[0][l];
        for (int t = 1; t < ntaps; ++t) {
            const float* s = src[t];
            const float c = taps[t];
            for (int l = 0; l < lines; ++l) out[l] = mul_add(c, s[l], out[l]);
        }
        return;
    }
    for (int l = 0; l < lines; ++l) {
        const size_t off = static_cast<size_t>(l) * line_step;
        float sum = taps[0] * src[0][off];
        for (int t = 1; t < ntaps; ++t) sum = mul_add(taps[t], src[t][off], sum);
        out[off] = sum;
    }
}

// Continues the sums in out with a second group of taps (the synthesis step's high band).
QUORVEL_LINE_KERNEL void continue_lines(float* out, const float* const* src,
                                        const float* taps, int ntaps, int lines, int line_step) {
    for (int t = 0; t < ntaps; ++t) {
        const float* s = src[t];
        const float c = taps[t];
        for (int l = 0; l < lines; ++l) {
            const size_t off = static_cast<size_t>(l) * line_step;
            out[off] = mul_add(c, s[off], out[off]);
        }
    }
}

constexpr int kMaxTaps = 16;

struct Region {
    size_t start;  // index of the region's first sample in the image
    int dx, dy;
};

}  // namespace

const float kAnalysisLowPass[kLowPassTaps] = {
    from_bits(0x3d1af203), from_bits(0xbcc35ff4), from_bits(0xbde28f0c),
    from_bits(0x3ec13af2), from_bits(0x3f5a4a76), from_bits(0x3ec13af2),
    from_bits(0xbde28f0c), from_bits(0xbcc35ff4), from_bits(0x3d1af203)};

const float kAnalysisHighPass[kHighPassTaps] = {
    from_bits(0x3d842cf6), from_bits(0xbd26a9f2), from_bits(0xbed61031),
    from_bits(0x3f49da31), from_bits(0xbed61031), from_bits(0xbd26a9f2),
    from_bits(0x3d842cf6)};

bool filter_bank_fits(int width, int height) {
    return width >= kMinFilterBankSize && height >= kMinFilterBankSize;
}

void analysis_step(float* out, const float* in, int lines, int length, int line_step,
                   int sample_step, const float* hi, int hsize, const float* lo, int lsize,
                   int invert) {
    if (lsize > kMaxTaps || hsize > kMaxTaps || length < kMinLineLength) return;
    const int nlow = (length + 1) / 2, nhigh = length / 2;
    const int low_at = invert ? nhigh : 0, high_at = invert ? 0 : nlow;
    const int lo_half = lsize / 2, hi_half = hsize / 2;
    const float* src[kMaxTaps];
    auto sample = [&](int i) { return at(in, reflect_whole(i, length), sample_step); };
    for (int p = 0; p < nlow; ++p) {
        for (int k = 0; k < lsize; ++k) src[k] = sample(2 * p - lo_half + k);
        filter_lines(at(out, low_at + p, sample_step), src, lo, lsize, lines, line_step);
    }
    for (int p = 0; p < nhigh; ++p) {
        for (int k = 0; k < hsize; ++k) src[k] = sample(2 * p - (hi_half - 1) + k);
        filter_lines(at(out, high_at + p, sample_step), src, hi, hsize, lines, line_step);
    }
}

void synthesis_step(float* out, const float* in, int lines, int length, int line_step,
                    int sample_step, const float* lo, int lsize, const float* hi, int hsize,
                    int invert) {
    // The 7/9 pair only (wsq_reconstruct refuses other lengths); too short a line would
    // reflect outside itself.
    if (lsize != kHighPassTaps || hsize != kLowPassTaps || length < kMinLineLength) return;
    const int llen = (length + 1) / 2, hlen = length / 2;
    const bool even = (length % 2) == 0;
    const float* low = at(in, invert ? hlen : 0, sample_step);
    const float* high = at(in, invert ? 0 : llen, sample_step);
    auto at_low = [&](int i) { return at(low, reflect_low(i, llen, even), sample_step); };
    auto at_high = [&](int i) { return at(high, reflect_high(i, hlen, even), sample_step); };
    const float lo_odd[3] = {lo[1], lo[3], lo[5]};
    const float lo_even[4] = {lo[0], lo[2], lo[4], lo[6]};
    const float hi_odd[4] = {hi[1], hi[3], hi[5], hi[7]};
    const float hi_even[5] = {hi[0], hi[2], hi[4], hi[6], hi[8]};
    const float* src[5];
    for (int n = 0; n < length; ++n) {
        const int m = n / 2;
        float* dst = at(out, n, sample_step);
        if (n % 2 == 0) {
            for (int j = 0; j < 3; ++j) src[j] = at_low(m - 1 + j);
            filter_lines(dst, src, lo_odd, 3, lines, line_step);
            for (int j = 0; j < 4; ++j) src[j] = at_high(m - 2 + j);
            continue_lines(dst, src, hi_odd, 4, lines, line_step);
        } else {
            for (int j = 0; j < 4; ++j) src[j] = at_low(m - 1 + j);
            filter_lines(dst, src, lo_even, 4, lines, line_step);
            for (int j = 0; j < 5; ++j) src[j] = at_high(m - 2 + j);
            continue_lines(dst, src, hi_even, 5, lines, line_step);
        }
    }
}

namespace {

Region region_of(const WsqWaveletNode& node, int width) {
    return Region{static_cast<size_t>(node.y) * width + node.x, node.dx, node.dy};
}

float* alloc_scratch(int width, int height) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    return static_cast<float*>(std::malloc(count * sizeof(float)));
}

}  // namespace

int wsq_decompose(float* image, int width, int height, const WsqWaveletNode* nodes,
                  const float* hi, int hsize, const float* lo, int lsize) {
    if (!filter_bank_fits(width, height)) {
        diag("ERROR : wsq_decompose : image too small for the filter bank : %d x %d\n", width,
             height);
        return kFilterBankTooSmall;
    }
    float* scratch = alloc_scratch(width, height);
    if (scratch == nullptr) {
        diag("ERROR : wsq_decompose : malloc : fdata1\n");
        return kDecomposeNoMemory;
    }
    for (int n = 0; n < kWaveletNodes; ++n) {
        const WsqWaveletNode& node = nodes[n];
        const Region r = region_of(node, width);
        analysis_step(scratch, image + r.start, r.dy, r.dx, width, 1, hi, hsize, lo, lsize,
                      node.ir);
        analysis_step(image + r.start, scratch, r.dx, r.dy, 1, width, hi, hsize, lo, lsize,
                      node.ic);
    }
    std::free(scratch);
    return 0;
}

int wsq_reconstruct(float* image, int width, int height, const WsqWaveletNode* nodes,
                    const WsqTransformTable* table) {
    if (table->lo_defined != 1) {
        diag("ERROR: wsq_reconstruct : Lopass filter coefficients not defined\n");
        return kReconstructNoLowPass;
    }
    if (table->hi_defined != 1) {
        diag("ERROR: wsq_reconstruct : Hipass filter coefficients not defined\n");
        return kReconstructNoHighPass;
    }
    if (table->losize != kHighPassTaps || table->hisize != kLowPassTaps ||
        table->lofilt == nullptr || table->hifilt == nullptr) {
        diag("ERROR : wsq_reconstruct : unsupported filter lengths : lofilt %d, hifilt %d\n",
             table->losize, table->hisize);
        return kReconstructFilterLengths;
    }
    if (!filter_bank_fits(width, height)) {
        diag("ERROR : wsq_reconstruct : image too small for the filter bank : %d x %d\n",
             width, height);
        return kFilterBankTooSmall;
    }
    float* scratch = alloc_scratch(width, height);
    if (scratch == nullptr) {
        diag("ERROR : wsq_reconstruct : malloc : fdata1\n");
        return kReconstructNoMemory;
    }
    for (int n = kWaveletNodes - 1; n >= 0; --n) {
        const WsqWaveletNode& node = nodes[n];
        const Region r = region_of(node, width);
        synthesis_step(scratch, image + r.start, r.dx, r.dy, 1, width, table->lofilt,
                       table->losize, table->hifilt, table->hisize, node.ic);
        synthesis_step(image + r.start, scratch, r.dy, r.dx, width, 1, table->lofilt,
                       table->losize, table->hifilt, table->hisize, node.ir);
    }
    std::free(scratch);
    return 0;
}

}  // namespace quorvel::wsq
