// Several threads in one encode or decode give exactly the bytes of one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/decoder.h"
#include "wsq/diag.h"
#include "wsq/encoder.h"
#include "wsq/records.h"
#include "wsq/tree.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode_with(int threads, const Bytes& px, int w, int h, float rate) {
    DiagCapture quiet;
    WsqTrees trees;
    WsqQuantization quant{};
    EncoderState state{&trees, &quant, threads};
    unsigned char* data = nullptr;
    int len = 0;
    EXPECT_EQ(wsq_encode(state, &data, &len, rate, px.data(), w, h, 8, 500, nullptr), 0);
    Bytes out(data, data + len);
    std::free(data);
    return out;
}

// What a decode gives: its code, its lines and its pixels.
struct Outcome {
    int code;
    std::string lines;
    Bytes pixels;
    bool operator==(const Outcome&) const = default;
};

Outcome decode_outcome(int threads, const Bytes& stream) {
    DiagCapture capture;
    DecoderState state;
    state.threads = threads;
    WsqTrees trees;
    unsigned char* data = nullptr;
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    const int code = wsq_decode(state, trees, &data, &w, &h, &d, &ppi, &lossy, stream.data(),
                                static_cast<int>(stream.size()));
    Outcome out{code, capture.text(), {}};
    if (code == 0) out.pixels.assign(data, data + static_cast<size_t>(w) * h);
    std::free(data);
    return out;
}

Bytes decode_with(int threads, const Bytes& stream) {
    const Outcome out = decode_outcome(threads, stream);
    EXPECT_EQ(out.code, 0);
    return out.pixels;
}

TEST(Threads, AnyNumberOfThreadsGivesTheSameStreamAndPixels) {
    for (const auto& [w, h] : {std::pair{1600, 1500}, std::pair{1201, 1333}}) {
        const Bytes px = quorvel::testing::ridge_pattern(w, h, 5);
        const Bytes stream = encode_with(1, px, w, h, 0.75f);
        const Bytes pixels = decode_with(1, stream);
        for (int threads : {2, 3, 5}) {
            EXPECT_EQ(encode_with(threads, px, w, h, 0.75f), stream) << w << " " << threads;
            EXPECT_EQ(decode_with(threads, stream), pixels) << w << " " << threads;
        }
    }
}

constexpr std::array<uint8_t, 2> kDqt = {0xFF, 0xA5};

// The blocks are decoded at once only where the stream is laid out as the encoder writes it;
// damaged or rearranged streams fall back to one thread, with its code, lines and pixels.
TEST(Threads, DamagedAndRearrangedStreamsDecodeAsOnOneThread) {
    const int w = 1201, h = 1333;
    const Bytes stream = encode_with(1, quorvel::testing::ridge_pattern(w, h, 9), w, h, 0.75f);
    const size_t header = stream.size() / 20;
    std::vector<Bytes> variants;
    for (size_t at = header; at < stream.size() - 2; at += (stream.size() - header) / 23) {
        Bytes flipped = stream;
        flipped[at] ^= 0x5A;
        variants.push_back(flipped);
    }
    variants.emplace_back(stream.begin(),
                          stream.begin() + static_cast<long>(stream.size() * 9 / 10));
    Bytes commented = stream;  // a comment before the end-of-image marker
    const Bytes com = {0xFF, 0xA8, 0x00, 0x05, 'h', 'i', '!'};
    commented.insert(commented.end() - 2, com.begin(), com.end());
    variants.push_back(commented);
    // Subband 10 left out by the quantization table: the stream still decodes on one thread,
    // but its blocks no longer fall where the layout puts them.
    Bytes shifted = stream;
    const size_t dqt = static_cast<size_t>(
        std::search(shifted.begin(), shifted.end(), kDqt.begin(), kDqt.end()) - shifted.begin());
    ASSERT_LT(dqt, shifted.size());
    std::fill_n(shifted.begin() + static_cast<long>(dqt + 7 + 10 * 6), 3, 0);
    variants.push_back(shifted);
    for (size_t i = 0; i < variants.size(); ++i)
        EXPECT_EQ(decode_outcome(2, variants[i]), decode_outcome(1, variants[i]))
            << "variant " << i;
}

}  // namespace
}  // namespace quorvel::wsq
