#include "wsq/tree.h"

namespace quorvel::wsq {
namespace {

// An odd length splits into a larger and a smaller part.
constexpr int big(int n) { return (n + 1) / 2; }
constexpr int small(int n) { return n / 2; }

void set_node(WsqWaveletNode& node, int x, int y, int dx, int dy, int ir, int ic) {
    node = WsqWaveletNode{x, y, dx, dy, ir, ic};
}

// The 20 regions in transform order. Where a region's row (column) pass put its high band
// first, its own split puts the smaller part to the left (top).
void build_wavelet_tree(WsqWaveletNode* n, int w, int h) {
    const int w1 = big(w), h1 = big(h);
    set_node(n[0], 0, 0, w, h, 0, 0);
    set_node(n[1], 0, 0, big(w), big(h), 0, 0);
    set_node(n[2], big(w), 0, small(w), big(h), 1, 0);
    set_node(n[3], 0, big(h), big(w), small(h), 0, 1);
    set_node(n[4], big(w1), 0, small(w1), big(h1), 1, 0);
    set_node(n[5], 0, big(h1), big(w1), small(h1), 0, 1);
    set_node(n[14], 0, 0, big(w1), big(h1), 0, 0);

    const int w4 = small(w1), h4 = big(h1), x4 = big(w1);
    set_node(n[6], x4, 0, small(w4), big(h4), 0, 0);
    set_node(n[7], x4 + small(w4), 0, big(w4), big(h4), 1, 0);
    set_node(n[8], x4, big(h4), small(w4), small(h4), 0, 1);
    set_node(n[9], x4 + small(w4), big(h4), big(w4), small(h4), 1, 1);

    const int w5 = big(w1), h5 = small(h1), y5 = big(h1);
    set_node(n[10], 0, y5, big(w5), small(h5), 0, 0);
    set_node(n[11], big(w5), y5, small(w5), small(h5), 1, 0);
    set_node(n[12], 0, y5 + small(h5), big(w5), big(h5), 0, 1);
    set_node(n[13], big(w5), y5 + small(h5), small(w5), big(h5), 1, 1);

    const int w14 = big(w1), h14 = big(h1);
    set_node(n[15], 0, 0, big(w14), big(h14), 0, 0);
    set_node(n[16], big(w14), 0, small(w14), big(h14), 1, 0);
    set_node(n[17], 0, big(h14), big(w14), small(h14), 0, 1);
    set_node(n[18], big(w14), big(h14), small(w14), small(h14), 1, 1);
    set_node(n[19], 0, 0, big(big(w14)), big(big(h14)), 0, 0);
}

// First part of a length split in two: the larger part unless smaller_first.
int first_part(int n, bool smaller_first) { return smaller_first ? small(n) : big(n); }

// One level: four parts of (x, y, lx, ly) in the order top-left, top-right, bottom-left,
// bottom-right into s .. s + 3.
void split_in_4(WsqSubband* out, int s, const WsqSubband& r, bool h_smaller, bool v_smaller) {
    const int left = first_part(r.lx, h_smaller), right = r.lx - left;
    const int top = first_part(r.ly, v_smaller), bottom = r.ly - top;
    out[s + 0] = WsqSubband{r.x, r.y, left, top};
    out[s + 1] = WsqSubband{r.x + left, r.y, right, top};
    out[s + 2] = WsqSubband{r.x, r.y + top, left, bottom};
    out[s + 3] = WsqSubband{r.x + left, r.y + top, right, bottom};
}

// Two levels: each quarter of the first split is split again, its left (top) quarters
// larger part first and its right (bottom) quarters smaller part first.
void split_in_16(WsqSubband* out, int s, const WsqWaveletNode& node, bool h_smaller,
                 bool v_smaller) {
    WsqSubband quarters[4];
    split_in_4(quarters, 0, WsqSubband{node.x, node.y, node.dx, node.dy}, h_smaller, v_smaller);
    for (int q = 0; q < 4; ++q) {
        const bool right = (q & 1) != 0, bottom = (q & 2) != 0;
        split_in_4(out, s + 4 * q, quarters[q], right, bottom);
    }
}

void build_subband_table(WsqSubband* sub, const WsqWaveletNode* n) {
    // Later splits overwrite what earlier ones wrote; the order is part of the geometry.
    split_in_16(sub, 3, n[14], false, false);
    split_in_16(sub, 19, n[4], true, false);
    split_in_16(sub, 48, n[0], false, false);
    split_in_16(sub, 35, n[5], false, true);
    split_in_4(sub, 0, WsqSubband{n[19].x, n[19].y, n[19].dx, n[19].dy}, false, false);
}

}  // namespace

WsqTrees& process_trees() {
    static WsqTrees trees{};
    return trees;
}

void build_subband_trees(WsqWaveletNode* nodes, WsqSubband* subbands, int width, int height) {
    build_wavelet_tree(nodes, width, height);
    build_subband_table(subbands, nodes);
}

}  // namespace quorvel::wsq
