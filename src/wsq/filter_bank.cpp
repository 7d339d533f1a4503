#include "wsq/filter_bank.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "wsq/diag.h"
#include "wsq/filter_taps.h"
#include "wsq/parallel_lines.h"
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

constexpr int kMaxTaps = 16;
constexpr TapGroup kNoTaps{nullptr, nullptr, 0};

struct Region {
    size_t start;  // index of the region's first sample in the image
    int dx, dy;
};

// An analysis pair with the offsets of its first taps: output p of a band reads input
// samples 2p - offset + k for k < size.
struct Analysis {
    const float* lo;
    int lsize;
    const float* hi;
    int hsize;
    int lo_offset() const { return lsize / 2; }
    int hi_offset() const { return hsize / 2 - 1; }
};

void scatter(float* out, int step, const float* values, int n) {
    for (int i = 0; i < n; ++i) *at(out, i, step) = values[i];
}

// Columns side by side (lines one float apart): each band sample is one tap sum across
// every line, reading whole rows picked by the mirror rule. Band samples [first, first +
// count) in the order low band then high band, so that threads can share a pass by its rows
// and every call still spans the whole width.
void analyse_columns(float* out, const float* in, int lines, int length, int step,
                     const Analysis& f, int invert, int first, int count) {
    const int nlow = (length + 1) / 2, nhigh = length / 2;
    const int low_at = invert ? nhigh : 0, high_at = invert ? 0 : nlow;
    const float* src[kMaxTaps];
    auto sample = [&](int i) { return at(in, reflect_whole(i, length), step); };
    for (int o = first; o < first + count; ++o) {
        const bool low = o < nlow;
        const int p = low ? o : o - nlow;
        const int size = low ? f.lsize : f.hsize, offset = low ? f.lo_offset() : f.hi_offset();
        for (int k = 0; k < size; ++k) src[k] = sample(2 * p - offset + k);
        tap_sum(at(out, (low ? low_at : high_at) + p, step), TapGroup{src, low ? f.lo : f.hi, size},
                kNoTaps, lines);
    }
}

// A line gathered with its mirror extension ext(i), first <= i <= last, split by parity:
// evens[j] = ext(first + 2j), odds[j] = ext(first + 2j + 1). Then input 2p + c of output p
// is (c even ? evens : odds)[p + c / 2] for c = i - first, so every tap reads a contiguous run.
struct Polyphase {
    int first, last;
    float* evens;
    float* odds;
    const float* tap_source(int index_of_p0) const {
        const int c = index_of_p0 - first;
        return (c % 2 == 0 ? evens : odds) + c / 2;
    }
};

// The pairs ext(first + 2j), ext(first + 2j + 1), j < pairs, of a line's mirror extension
// into x's halves: straight from the line inside it, through the mirror rule at its ends.
void split_extension(const Polyphase& x, const float* line, int step, int pairs, int length) {
    auto ext = [&](int i) { return *at(line, reflect_whole(i, length), step); };
    const int inner_from = std::min(pairs, (1 - x.first) / 2);  // first j with first + 2j >= 0
    const int inner_to = std::max(inner_from, std::min(pairs, (length - x.first) / 2));
    int j = 0;
    for (; j < inner_from; ++j) {
        x.evens[j] = ext(x.first + 2 * j);
        x.odds[j] = ext(x.first + 2 * j + 1);
    }
    const float* inner = at(line, x.first + 2 * inner_from, step);
    if (step == 1) {
        split_pairs(inner, static_cast<size_t>(inner_to - inner_from), x.evens + j, x.odds + j);
        j = inner_to;
    }
    for (; j < inner_to; ++j) {
        x.evens[j] = inner[2 * (j - inner_from) * step];
        x.odds[j] = inner[(2 * (j - inner_from) + 1) * step];
    }
    for (; j < pairs; ++j) {
        x.evens[j] = ext(x.first + 2 * j);
        x.odds[j] = ext(x.first + 2 * j + 1);
    }
}

// First and last extended indices the two bands read; false when the mirror rule would land
// outside the line (a filter too long for it).
bool extension_range(const Analysis& f, int length, int* first, int* last) {
    const int nlow = (length + 1) / 2, nhigh = length / 2;
    *first = -std::max(f.lo_offset(), f.hi_offset());
    *last = std::max(2 * (nlow - 1) - f.lo_offset() + f.lsize - 1,
                     2 * (nhigh - 1) - f.hi_offset() + f.hsize - 1);
    return -*first <= length - 1 && *last + 1 <= 2 * (length - 1);
}

// One band of a line from its polyphase halves: output p sums taps[k] * input(2p - offset + k).
void analyse_band(float* out, const Polyphase& x, const float* taps, int ntaps, int offset, int n) {
    const float* src[kMaxTaps];
    for (int k = 0; k < ntaps; ++k) src[k] = x.tap_source(k - offset);
    tap_sum(out, TapGroup{src, taps, ntaps}, kNoTaps, static_cast<size_t>(n));
}

// Lines one after another: each line is extended and split into its polyphase halves once,
// then each band is one tap sum along the line. work holds 3 * length + 3 * kMaxTaps floats.
void analyse_rows(float* out, const float* in, int lines, int length, int line_step, int step,
                  const Analysis& f, int invert, float* work) {
    const int nlow = (length + 1) / 2, nhigh = length / 2;
    const int low_at = invert ? nhigh : 0, high_at = invert ? 0 : nlow;
    Polyphase x{};
    if (!extension_range(f, length, &x.first, &x.last)) return;
    const int pairs = (x.last - x.first) / 2 + 1;
    x.evens = work;
    x.odds = x.evens + pairs;
    float* bands = x.odds + pairs;  // for a line whose samples are not adjacent
    for (int l = 0; l < lines; ++l) {
        split_extension(x, in + static_cast<std::ptrdiff_t>(l) * line_step, step, pairs, length);
        float* dst = out + static_cast<std::ptrdiff_t>(l) * line_step;
        float* low = step == 1 ? dst + low_at : bands;
        float* high = step == 1 ? dst + high_at : bands + nlow;
        analyse_band(low, x, f.lo, f.lsize, f.lo_offset(), nlow);
        analyse_band(high, x, f.hi, f.hsize, f.hi_offset(), nhigh);
        if (step != 1) {
            scatter(at(dst, low_at, step), step, low, nlow);
            scatter(at(dst, high_at, step), step, high, nhigh);
        }
    }
}

// Columns side by side: each output sample is one tap sum across every line over rows of the
// two bands picked by their mirror rules.
// Output sample n of every line (columns side by side): one tap sum across the lines over
// rows of the two bands picked by their mirror rules.
void synthesise_column_sample(float* out, const float* in, int lines, int length, int step,
                              const Synthesis& s, int invert, int n) {
    const int llen = (length + 1) / 2, hlen = length / 2;
    const bool even = (length % 2) == 0;
    const float* low = at(in, invert ? hlen : 0, step);
    const float* high = at(in, invert ? 0 : llen, step);
    const float* lsrc[4];
    const float* hsrc[5];
    const int m = n / 2, odd = n % 2;
    for (int j = 0; j < 3 + odd; ++j) lsrc[j] = at(low, reflect_low(m - 1 + j, llen, even), step);
    for (int j = 0; j < 4 + odd; ++j) hsrc[j] = at(high, reflect_high(m - 2 + j, hlen, even), step);
    const TapGroup lo{lsrc, odd ? s.lo_odd : s.lo_even, 3 + odd};
    const TapGroup hi{hsrc, odd ? s.hi_odd : s.hi_even, 4 + odd};
    tap_sum(out, lo, hi, static_cast<size_t>(lines));
}

// Output samples [first, first + count) of every line: threads share a pass by its rows, so
// that every call still spans the whole width.
void synthesise_columns(float* out, const float* in, int lines, int length, int step,
                        const Synthesis& s, int invert, int first, int count) {
    for (int n = first; n < first + count; ++n)
        synthesise_column_sample(at(out, n, step), in, lines, length, step, s, invert, n);
}

// The bands of a line with their mirror extensions, as the pairs read them: lx[j] is low
// sample j - 1 and hx[j] high sample j - 2, both through the mirror rules, for every pair of
// the line. The clamp only touches the inputs of an odd output past the end of a line of odd
// length, which is not stored.
void extend_bands(float* lx, float* hx, const float* low, const float* high, int step, int length) {
    const int llen = (length + 1) / 2, hlen = length / 2;
    const bool even = llen == hlen;
    auto low_at = [&](int i) {
        return *at(low, std::clamp(reflect_low(i, llen, even), 0, llen - 1), step);
    };
    auto high_at = [&](int i) {
        return *at(high, std::clamp(reflect_high(i, hlen, even), 0, hlen - 1), step);
    };
    lx[0] = low_at(-1);
    if (step == 1) {
        std::copy(low, low + llen, lx + 1);
        std::copy(high, high + hlen, hx + 2);
    } else {
        for (int i = 0; i < llen; ++i) lx[1 + i] = *at(low, i, step);
        for (int i = 0; i < hlen; ++i) hx[2 + i] = *at(high, i, step);
    }
    for (int i = llen; i < llen + 2; ++i) lx[1 + i] = low_at(i);
    hx[0] = high_at(-2);
    hx[1] = high_at(-1);
    for (int i = hlen; i < llen + 2; ++i) hx[2 + i] = high_at(i);
}

// The work a line of `length` samples needs in synthesise_rows.
size_t synthesis_work(int length) { return 4 * static_cast<size_t>((length + 1) / 2) + 7; }

// Lines one after another, each extended once and then synthesised pair by pair: the whole
// pairs straight into the line when its samples are adjacent, the rest through a copy. work
// holds synthesis_work(length) floats.
void synthesise_rows(float* out, const float* in, int lines, int length, int line_step, int step,
                     const Synthesis& s, int invert, float* work) {
    const int llen = (length + 1) / 2, hlen = length / 2;
    float* lx = work;
    float* hx = lx + llen + 3;
    float* pairs = hx + llen + 4;
    const int direct = step == 1 ? hlen : 0;  // pairs whose two outputs are both in the line
    for (int l = 0; l < lines; ++l) {
        const float* line = in + static_cast<std::ptrdiff_t>(l) * line_step;
        float* dst = out + static_cast<std::ptrdiff_t>(l) * line_step;
        extend_bands(lx, hx, at(line, invert ? hlen : 0, step), at(line, invert ? 0 : llen, step),
                     step, length);
        synthesis_pairs(dst, lx, hx, s, static_cast<size_t>(direct));
        synthesis_pairs(pairs, lx + direct, hx + direct, s, static_cast<size_t>(llen - direct));
        for (int n = 2 * direct; n < length; ++n) *at(dst, n, step) = pairs[n - 2 * direct];
    }
}

}  // namespace

const float kAnalysisLowPass[kLowPassTaps] = {
    from_bits(0x3d1af203), from_bits(0xbcc35ff4), from_bits(0xbde28f0c),
    from_bits(0x3ec13af2), from_bits(0x3f5a4a76), from_bits(0x3ec13af2),
    from_bits(0xbde28f0c), from_bits(0xbcc35ff4), from_bits(0x3d1af203)};

const float kAnalysisHighPass[kHighPassTaps] = {
    from_bits(0x3d842cf6), from_bits(0xbd26a9f2), from_bits(0xbed61031), from_bits(0x3f49da31),
    from_bits(0xbed61031), from_bits(0xbd26a9f2), from_bits(0x3d842cf6)};

bool filter_bank_fits(int width, int height) {
    return width >= kMinFilterBankSize && height >= kMinFilterBankSize;
}

namespace {

bool analysis_fits(const Analysis& f, int length) {
    return f.lsize <= kMaxTaps && f.hsize <= kMaxTaps && length >= kMinLineLength;
}

}  // namespace

void analysis_step(float* out, const float* in, int lines, int length, int line_step,
                   int sample_step, const float* hi, int hsize, const float* lo, int lsize,
                   int invert) {
    const Analysis f{lo, lsize, hi, hsize};
    if (!analysis_fits(f, length)) return;
    if (line_step == 1) {
        analyse_columns(out, in, lines, length, sample_step, f, invert, 0, length);
        return;
    }
    std::vector<float> work(3 * static_cast<size_t>(length) + 3 * kMaxTaps);
    analyse_rows(out, in, lines, length, line_step, sample_step, f, invert, work.data());
}

void synthesis_step(float* out, const float* in, int lines, int length, int line_step,
                    int sample_step, const float* lo, int lsize, const float* hi, int hsize,
                    int invert) {
    // The 7/9 pair only (wsq_reconstruct refuses other lengths); too short a line would
    // reflect outside itself.
    if (lsize != kHighPassTaps || hsize != kLowPassTaps || length < kMinLineLength) return;
    const Synthesis s(lo, hi);
    if (line_step == 1) {
        synthesise_columns(out, in, lines, length, sample_step, s, invert, 0, length);
        return;
    }
    std::vector<float> work(synthesis_work(length));
    synthesise_rows(out, in, lines, length, line_step, sample_step, s, invert, work.data());
}

namespace {

Region region_of(const WsqWaveletNode& node, int width) {
    return Region{static_cast<size_t>(node.y) * width + node.x, node.dx, node.dy};
}

// One past the region's last sample in the image, and in a scratch laid out like it.
size_t region_end(const Region& r, int width) {
    return r.start + static_cast<size_t>(r.dy - 1) * width + r.dx;
}

bool overlap(const WsqWaveletNode& a, const WsqWaveletNode& b) {
    return a.x < b.x + b.dx && b.x < a.x + a.dx && a.y < b.y + b.dy && b.y < a.y + a.dy;
}

// How many of the nodes first, first + step, ... (before end) are small and overlap none of
// the others, with their regions inside a scratch of scratch_count samples; 0 when they are
// too few samples together to be worth a helper's wake-up.
int independent_run(const WsqWaveletNode* nodes, int first, int step, int end, int width,
                    size_t scratch_count) {
    int run = 0;
    long long samples = 0;
    for (int n = first; n != end; n += step, ++run) {
        const Region r = region_of(nodes[n], width);
        const long long own = static_cast<long long>(r.dx) * r.dy;
        if (own >= kParallelSamples || region_end(r, width) > scratch_count) break;
        bool apart = true;
        for (int m = first; m != n && apart; m += step) apart = !overlap(nodes[m], nodes[n]);
        if (!apart) break;
        samples += own;
    }
    return samples >= kParallelSamples ? run : 0;
}

// Calls visit(node, scratch, threads) for the nodes first, first + step, ... before end, in
// that order. A node reads and writes only its own region, so small nodes that do not overlap
// do not depend on each other: a run of them goes to the threads a node each (each with its
// scratch lines at its own place in the scratch) instead of a pass too small to split.
template <class Visit>
void over_nodes(const WsqWaveletNode* nodes, int first, int step, int end, int width,
                float* scratch, size_t scratch_count, int threads, const Visit& visit) {
    for (int n = first; n != end;) {
        const int run =
            threads > 1 ? independent_run(nodes, n, step, end, width, scratch_count) : 0;
        if (run < 2) {
            visit(nodes[n], scratch, threads);
            n += step;
            continue;
        }
        run_parts(run, threads - 1, [&](int i) {
            const WsqWaveletNode& node = nodes[n + i * step];
            visit(node, scratch + region_of(node, width).start, 1);
        });
        n += run * step;
    }
}

float* alloc_scratch(int width, int height) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    return static_cast<float*>(std::malloc(count * sizeof(float)));
}

}  // namespace

namespace {

void decompose(float* image, float* scratch, int width, int height, const WsqWaveletNode* nodes,
               const Analysis& f, int threads) {
    const size_t scratch_count = static_cast<size_t>(width) * static_cast<size_t>(height);
    over_nodes(nodes, 0, 1, kWaveletNodes, width, scratch, scratch_count, threads,
               [&](const WsqWaveletNode& node, float* lines, int node_threads) {
                   const Region r = region_of(node, width);
                   const long long samples = static_cast<long long>(r.dx) * r.dy;
                   over_lines(r.dy, samples, node_threads, [&](int first, int count) {
                       const size_t at = static_cast<size_t>(first) * width;
                       analysis_step(lines + at, image + r.start + at, count, r.dx, width, 1, f.hi,
                                     f.hsize, f.lo, f.lsize, node.ir);
                   });
                   if (!analysis_fits(f, r.dy)) return;
                   over_lines(r.dy, samples, node_threads, [&](int first, int count) {
                       analyse_columns(image + r.start, lines, r.dx, r.dy, width, f, node.ic, first,
                                       count);
                   });
               });
}

bool check_decomposition(int width, int height) {
    if (filter_bank_fits(width, height)) return true;
    diag("ERROR : wsq_decompose : image too small for the filter bank : %d x %d\n", width, height);
    return false;
}

}  // namespace

int wsq_decompose(float* image, int width, int height, const WsqWaveletNode* nodes, const float* hi,
                  int hsize, const float* lo, int lsize, int threads) {
    if (!check_decomposition(width, height)) return kFilterBankTooSmall;
    float* scratch = alloc_scratch(width, height);
    if (scratch == nullptr) {
        diag("ERROR : wsq_decompose : malloc : fdata1\n");
        return kDecomposeNoMemory;
    }
    decompose(image, scratch, width, height, nodes, Analysis{lo, lsize, hi, hsize}, threads);
    std::free(scratch);
    return 0;
}

int wsq_decompose(float* image, std::vector<float>& scratch, int width, int height,
                  const WsqWaveletNode* nodes, const float* hi, int hsize, const float* lo,
                  int lsize, int threads) {
    if (!check_decomposition(width, height)) return kFilterBankTooSmall;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    try {
        if (scratch.size() < count) scratch.resize(count);
    } catch (const std::bad_alloc&) {
        diag("ERROR : wsq_decompose : malloc : fdata1\n");
        return kDecomposeNoMemory;
    }
    decompose(image, scratch.data(), width, height, nodes, Analysis{lo, lsize, hi, hsize}, threads);
    return 0;
}

namespace {

// The checks of wsq_reconstruct before any work.
int check_reconstruction(int width, int height, const WsqTransformTable* table) {
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
        diag("ERROR : wsq_reconstruct : image too small for the filter bank : %d x %d\n", width,
             height);
        return kFilterBankTooSmall;
    }
    return 0;
}

// The last node row by row: each row's column pass, then its row pass, both in a line
// buffer, and the row goes to the sink instead of back into the image.
void reconstruct_into_rows(const float* image, int width, const WsqWaveletNode& node,
                           const Synthesis& s, int threads, const RowSink& sink) {
    const Region r = region_of(node, width);
    const long long samples = static_cast<long long>(r.dx) * r.dy;
    over_lines(r.dy, samples, threads, [&](int first, int count) {
        std::vector<float> columns(static_cast<size_t>(r.dx)), row(static_cast<size_t>(r.dx));
        std::vector<float> work(synthesis_work(r.dx));
        for (int n = first; n < first + count; ++n) {
            synthesise_column_sample(columns.data(), image + r.start, r.dx, r.dy, width, s, node.ic,
                                     n);
            synthesise_rows(row.data(), columns.data(), 1, r.dx, r.dx, 1, s, node.ir, work.data());
            sink(node.y + n, row.data());
        }
    });
}

// The table's filter lengths are the 7/9 pair and every line is long enough
// (check_reconstruction). The scratch holds scratch_count samples.
void reconstruct(float* image, float* scratch, size_t scratch_count, int width,
                 const WsqWaveletNode* nodes, const WsqTransformTable* t, int threads,
                 const RowSink* last_rows) {
    const Synthesis s(t->lofilt, t->hifilt);
    const int end = last_rows != nullptr ? 0 : -1;
    over_nodes(nodes, kWaveletNodes - 1, -1, end, width, scratch, scratch_count, threads,
               [&](const WsqWaveletNode& node, float* lines, int node_threads) {
                   const Region r = region_of(node, width);
                   const long long samples = static_cast<long long>(r.dx) * r.dy;
                   over_lines(r.dy, samples, node_threads, [&](int first, int count) {
                       synthesise_columns(lines, image + r.start, r.dx, r.dy, width, s, node.ic,
                                          first, count);
                   });
                   over_lines(r.dy, samples, node_threads, [&](int first, int count) {
                       const size_t at = static_cast<size_t>(first) * width;
                       synthesis_step(image + r.start + at, lines + at, count, r.dx, width, 1,
                                      t->lofilt, t->losize, t->hifilt, t->hisize, node.ir);
                   });
               });
    if (last_rows != nullptr) reconstruct_into_rows(image, width, nodes[0], s, threads, *last_rows);
}

}  // namespace

int wsq_reconstruct(float* image, int width, int height, const WsqWaveletNode* nodes,
                    const WsqTransformTable* table) {
    if (int ret = check_reconstruction(width, height, table)) return ret;
    float* scratch = alloc_scratch(width, height);
    if (scratch == nullptr) {
        diag("ERROR : wsq_reconstruct : malloc : fdata1\n");
        return kReconstructNoMemory;
    }
    reconstruct(image, scratch, static_cast<size_t>(width) * static_cast<size_t>(height), width,
                nodes, table, 1, nullptr);
    std::free(scratch);
    return 0;
}

int wsq_reconstruct(float* image, std::vector<float>& scratch, int width, int height,
                    const WsqWaveletNode* nodes, const WsqTransformTable* table, int threads,
                    const RowSink* last_rows) {
    if (int ret = check_reconstruction(width, height, table)) return ret;
    // Without the last level in it, the scratch holds at most the next one's regions.
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (last_rows != nullptr) {
        count = 0;
        for (int n = 1; n < kWaveletNodes; ++n)
            count = std::max(count, static_cast<size_t>(nodes[n].dy - 1) * width + nodes[n].dx);
    }
    try {
        if (scratch.size() < count) scratch.resize(count);
    } catch (const std::bad_alloc&) {
        diag("ERROR : wsq_reconstruct : malloc : fdata1\n");
        return kReconstructNoMemory;
    }
    reconstruct(image, scratch.data(), count, width, nodes, table, threads, last_rows);
    return 0;
}

}  // namespace quorvel::wsq
