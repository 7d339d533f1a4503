// Several threads in one encode or decode give exactly the bytes of one thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

Bytes decode_with(int threads, const Bytes& stream) {
    DiagCapture quiet;
    DecoderState state;
    state.threads = threads;
    WsqTrees trees;
    unsigned char* data = nullptr;
    int w = 0, h = 0, d = 0, ppi = 0, lossy = 0;
    EXPECT_EQ(wsq_decode(state, trees, &data, &w, &h, &d, &ppi, &lossy, stream.data(),
                         static_cast<int>(stream.size())),
              0);
    Bytes out(data, data + static_cast<size_t>(w) * h);
    std::free(data);
    return out;
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

}  // namespace
}  // namespace quorvel::wsq
