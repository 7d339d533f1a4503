#include "wsq/quantize.h"

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "wsq/diag.h"
#include "wsq/exact_fast_paths.h"
#include "wsq/lanes.h"
#include "wsq/parallel_lines.h"
#include "wsq/quantize_kernel.h"
#include "wsq/records.h"
#include "wsq/subband_values.h"

namespace quorvel::wsq {
namespace {

// Subbands with a lower variance are not coded (a double constant).
constexpr double kVarianceThreshold = 1.01;
// Global quantizer scale factor, the double 0.4 carried at extended precision.
constexpr long double kScaleFactor = static_cast<long double>(0.4);
// Zero-bin width over bin width, the double 1.2 carried at extended precision.
constexpr long double kZeroBinRatio = static_cast<long double>(1.2);
constexpr float kRelativeWidth = 10.0f;
constexpr float kCutOff = 5.0f;

// Relative bin widths of the high-frequency subbands 52..59; all others weigh 1.
float weight(int k) {
    static const float high[8] = {1.32f, 1.08f, 1.42f, 1.08f, 1.32f, 1.42f, 1.08f, 1.08f};
    return k >= 52 ? high[k - 52] : 1.0f;
}

// Share of the image's pixels that subband k holds.
float pixel_share(int k) {
    if (k < 4) return 1.0f / 1024.0f;
    if (k < 51) return 1.0f / 256.0f;
    return 1.0f / 16.0f;
}

float relative_width(int k, float variance) {
    if (!(static_cast<double>(variance) >= kVarianceThreshold)) return 0.0f;
    if (k < 4) return 1.0f;
    return static_cast<float>(
        static_cast<long double>(kRelativeWidth) /
        (static_cast<long double>(weight(k)) * std::log(static_cast<long double>(variance))));
}

// The global scale q for the subbands in `set` (n of them, in increasing order).
float global_scale(const int* set, int n, const float* qprime, const float* sigma, float bitrate) {
    float s = 0.0f;
    for (int i = 0; i < n; ++i) s += pixel_share(set[i]);
    float p = 1.0f;
    for (int i = 0; i < n; ++i) {
        const int k = set[i];
        const double quotient = static_cast<double>(sigma[k]) / static_cast<double>(qprime[k]);
        const double power = std::pow(quotient, static_cast<double>(pixel_share(k)));
        p = static_cast<float>(static_cast<long double>(p) * power);
    }
    const long double ls = s;
    const long double numerator =
        std::pow(2.0L, static_cast<long double>(bitrate) / ls - 1.0L) * kScaleFactor;
    return static_cast<float>(numerator / std::pow(static_cast<long double>(p), 1.0L / ls));
}

// Drops from `set` every subband whose relative width at scale q exceeds the cut-off;
// returns how many were dropped.
int drop_wide_subbands(int* set, int* n, const float* qprime, const float* sigma, float q) {
    int kept = 0;
    for (int i = 0; i < *n; ++i) {
        const int k = set[i];
        const long double width = static_cast<long double>(qprime[k]) / q;
        if (!(width >= static_cast<long double>(kCutOff) * sigma[k])) set[kept++] = k;
    }
    const int dropped = *n - kept;
    *n = kept;
    return dropped;
}

int area(const WsqSubband& s) { return s.lx * s.ly; }
int area(const WsqWaveletNode& n) { return n.dx * n.dy; }

// Coefficients of subbands first..last that a zero bin width removes.
int dropped_area(const WsqQuantization* quant, const WsqSubband* subbands, int first, int last) {
    int total = 0;
    for (int k = first; k <= last; ++k)
        if (quant->bin_width[k] == 0.0f) total += area(subbands[k]);
    return total;
}

}  // namespace

WsqQuantization& process_quantization() {
    static WsqQuantization quant{};
    return quant;
}

namespace {

// The central window of a subband that its variance is taken over.
struct Window {
    int x0, y0, w, h;
    explicit Window(const WsqSubband& s)
        : x0(s.x + s.lx / 8), y0(s.y + (9 * s.ly) / 32), w((3 * s.lx) / 4), h((7 * s.ly) / 16) {}
    bool same_size(const Window& o) const { return w == o.w && h == o.h; }
};

constexpr int kLockstep = 4;

// The sum and the sum of squares of `count` (<= kLockstep) windows of one size, each summed in
// its own row-major order; the windows go side by side so that their chains of additions
// overlap. Cloned for processors with a fused multiply-add, where fmaf is one instruction;
// not in sanitizer builds, whose instrumented clone resolver would run before their runtime.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("fma", "default")))
#endif
void window_sums(const float* const* origin, int count, int w, int h, int width, float* sum,
                 float* squares) {
    float s[kLockstep] = {}, q[kLockstep] = {};
    for (int y = 0; y < h; ++y) {
        const size_t row = static_cast<size_t>(y) * width;
        for (int x = 0; x < w; ++x)
            for (int j = 0; j < kLockstep; ++j) {
                if (j == count) break;
                const float v = origin[j][row + x];
                s[j] += v;
                q[j] = std::fmaf(v, v, q[j]);
            }
    }
    for (int j = 0; j < count; ++j) {
        sum[j] = s[j];
        squares[j] = q[j];
    }
}

float window_variance(float sum, float squares, int n) {
    if (n < 2) return 0.0f;  // only below the filter bank's minimum size
    const float mean_square = static_cast<float>(static_cast<long double>(sum) * sum / n);
    return static_cast<float>((static_cast<long double>(squares) - mean_square) / (n - 1));
}

}  // namespace

void subband_variance(WsqQuantization* quant, const WsqSubband* subbands, const float* image,
                      int width, int height, int threads) {
    (void)height;
    // Runs of up to kLockstep subbands whose windows are of one size, each run on one lane.
    int run_start[kCodedSubbands + 1], runs = 0;
    for (int k = 0; k < kCodedSubbands; ++runs) {
        const Window first(subbands[k]);
        run_start[runs] = k;
        int count = 1;
        while (count < kLockstep && k + count < kCodedSubbands &&
               Window(subbands[k + count]).same_size(first))
            ++count;
        k += count;
    }
    run_start[runs] = kCodedSubbands;
    run_parts(runs, threads - 1, [&](int r) {
        const int k = run_start[r], count = run_start[r + 1] - k;
        const Window first(subbands[k]);
        const float* origin[kLockstep] = {};
        for (int j = 0; j < count; ++j) {
            const Window win(subbands[k + j]);
            origin[j] = image + static_cast<size_t>(win.y0) * width + win.x0;
        }
        float sum[kLockstep], squares[kLockstep];
        window_sums(origin, count, first.w, first.h, width, sum, squares);
        for (int j = 0; j < count; ++j)
            quant->variance[k + j] = window_variance(sum[j], squares[j], first.w * first.h);
    });
}

void compute_bin_widths(WsqQuantization* quant) {
    for (int k = 0; k < kSubbands; ++k) quant->bin_width[k] = quant->zero_bin_width[k] = 0.0f;
    float qprime[kCodedSubbands], sigma[kCodedSubbands] = {};
    int initial[kCodedSubbands], n0 = 0;
    for (int k = 0; k < kCodedSubbands; ++k) {
        qprime[k] = relative_width(k, quant->variance[k]);
        if (static_cast<double>(quant->variance[k]) >= kVarianceThreshold) {
            sigma[k] = std::sqrt(quant->variance[k]);
            initial[n0++] = k;
        }
    }
    int set[kCodedSubbands], n = n0;
    for (int i = 0; i < n0; ++i) set[i] = initial[i];
    float q = std::numeric_limits<float>::infinity();
    while (n > 0) {
        q = global_scale(set, n, qprime, sigma, quant->bitrate);
        if (drop_wide_subbands(set, &n, qprime, sigma, q) == 0) break;
        if (n == 0) q = std::numeric_limits<float>::infinity();
    }
    // Subbands that left the working set keep their relative width at the final scale.
    for (int i = 0; i < n0; ++i) {
        const int k = initial[i];
        quant->bin_width[k] = static_cast<float>(static_cast<long double>(qprime[k]) / q);
        quant->zero_bin_width[k] = static_cast<float>(kZeroBinRatio * quant->bin_width[k]);
    }
}

int quantize(int16_t** sip, int* count, WsqQuantization* quant, const WsqSubband* subbands,
             const float* image, int width, int height, int threads) {
    compute_bin_widths(quant);
    return quantize_coefficients(sip, count, quant, subbands, image, width, height, threads);
}

namespace {

// Rows [first, first + count) of the coded subbands taken one after another: each row's
// indices go to the place the subband order gives them in out.
void quantize_rows(int16_t* out, const WsqQuantization* quant, const WsqSubband* subbands,
                   const float* image, int width, int first, int count) {
    size_t n = 0;  // index of the subband's first coefficient
    int row0 = 0;  // flat index of the subband's first row
    for (int k = 0; k < kCodedSubbands; ++k) {
        const float q = quant->bin_width[k];
        if (q == 0.0f) continue;
        const WsqSubband& s = subbands[k];
        const float half_zero = quant->zero_bin_width[k] * 0.5f;
        const int from = std::max(first, row0), to = std::min(first + count, row0 + s.ly);
        for (int r = from; r < to; ++r) {
            const float* row = image + static_cast<size_t>(s.y + r - row0) * width;
            quantize_run(out + n + static_cast<size_t>(r - row0) * s.lx, row + s.x,
                         static_cast<size_t>(s.lx), q, half_zero);
        }
        n += static_cast<size_t>(s.lx) * s.ly;
        row0 += s.ly;
    }
}

}  // namespace

int quantize_coefficients(int16_t** sip, int* count, const WsqQuantization* quant,
                          const WsqSubband* subbands, const float* image, int width, int height,
                          int threads) {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    // Every index of a coded subband is written below; what follows them is never read.
    auto* out = static_cast<int16_t*>(std::malloc(pixels * sizeof(int16_t)));
    if (out == nullptr) {
        diag("ERROR : quantize : calloc : sip\n");
        return kQuantizeNoMemory;
    }
    size_t n = 0;
    int rows = 0;
    for (int k = 0; k < kCodedSubbands; ++k) {
        const float q = quant->bin_width[k];
        if (q == 0.0f) {
            diag("%d -> %3.6f\n", k, q);
            continue;
        }
        n += static_cast<size_t>(subbands[k].lx) * subbands[k].ly;
        rows += subbands[k].ly;
    }
    over_lines(rows, static_cast<long long>(n), threads, [&](int first, int lines) {
        quantize_rows(out, quant, subbands, image, width, first, lines);
    });
    *sip = out;
    *count = static_cast<int>(n);
    return 0;
}

void block_coefficient_counts(int* block1, int* block2, int* block3, const WsqQuantization* quant,
                              const WsqWaveletNode* nodes, const WsqSubband* subbands) {
    *block1 = area(nodes[14]) -
              dropped_area(quant, subbands, kBlockFirstSubband[0], kBlockFirstSubband[1] - 1);
    *block2 = nodes[5].dy * nodes[1].dx + area(nodes[4]) -
              dropped_area(quant, subbands, kBlockFirstSubband[1], kBlockFirstSubband[2] - 1);
    *block3 = area(nodes[2]) + area(nodes[3]) -
              dropped_area(quant, subbands, kBlockFirstSubband[2], kBlockFirstSubband[3] - 1);
}

namespace {

// Rows [first, first + count) of the 64 subbands taken one after another (subband 0's rows
// first): each row of a coded subband gets the values of its indices, other rows zeros.
void unquantize_rows(float* out, const WsqQuantTable* table, const WsqSubband* subbands,
                     const int16_t* sip, int width, int first, int count) {
    size_t n = 0;  // index of the subband's first coefficient
    int row0 = 0;  // flat index of the subband's first row
    for (int k = 0; k < kSubbands && count > 0; ++k) {
        const WsqSubband& s = subbands[k];
        const float q = k < kCodedSubbands ? table->bin_width[k] : 0.0f;
        const int from = std::max(first, row0), to = std::min(first + count, row0 + s.ly);
        auto row = [&](int r) { return out + static_cast<size_t>(s.y + r - row0) * width + s.x; };
        if (from < to && q == 0.0f) {
            for (int r = from; r < to; ++r) std::fill_n(row(r), s.lx, 0.0f);
        } else if (from < to) {
            const SubbandValues values(table->bin_center, q, table->zero_bin_width[k]);
            for (int r = from; r < to; ++r) {
                const int16_t* index = sip + n + static_cast<size_t>(r - row0) * s.lx;
                std::transform(index, index + s.lx, row(r), std::cref(values));
            }
        }
        if (q != 0.0f) n += static_cast<size_t>(s.lx) * s.ly;
        row0 += s.ly;
    }
}

}  // namespace

int check_unquantize_table(const WsqQuantTable& table) {
    if (table.defined == 1) return 0;
    diag("ERROR: unquantize : quantization table parameters not defined!\n");
    return kUnquantizeUndefined;
}

int unquantize_into(float* out, const WsqQuantTable* table, const WsqSubband* subbands,
                    const int16_t* sip, int width, int height, int threads) {
    if (int ret = check_unquantize_table(*table)) return ret;
    int rows = 0;
    for (int k = 0; k < kSubbands; ++k) rows += subbands[k].ly;
    over_lines(rows, static_cast<long long>(width) * height, threads, [&](int first, int count) {
        unquantize_rows(out, table, subbands, sip, width, first, count);
    });
    return 0;
}

int unquantize(float** fip, const WsqQuantTable* table, const WsqSubband* subbands,
               const int16_t* sip, int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* out = static_cast<float*>(std::calloc(pixels, sizeof(float)));
    if (out == nullptr) {
        diag("ERROR : unquantize : calloc : fip\n");
        return kUnquantizeNoMemory;
    }
    if (int ret = unquantize_into(out, table, subbands, sip, width, height)) {
        std::free(out);
        return ret;
    }
    *fip = out;
    return 0;
}

}  // namespace quorvel::wsq
