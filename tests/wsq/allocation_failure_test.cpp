// Out of memory at any allocation of an encode or a decode: the call returns an error code with
// a message, or throws bad_alloc (which the exports catch), or (where the buffer was optional)
// gives the same result as without the failure; it never leaks and leaves its outputs alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "support/allocation_failure.h"
#include "support/ridge_pattern.h"
#include "wsq/decoder.h"
#include "wsq/diag.h"
#include "wsq/encoder.h"
#include "wsq/records.h"
#include "wsq/tree.h"

namespace quorvel::wsq {
namespace {

using Bytes = std::vector<unsigned char>;

struct Outcome {
    int ret = 0;
    Bytes bytes;  // the stream or the pixels
    int len = -1;
    std::string diag;
    bool failed_one = false;  // the armed allocation happened
    bool threw = false;       // bad_alloc, which the library's exports turn into their failure
    long leaked = 0;          // blocks the call left allocated
};

// Runs `call` with its n-th allocation failing (none for n = 0).
template <class Call>
Outcome run(long n, Call call) {
    Outcome o;
    DiagCapture capture;
    unsigned char* data = nullptr;
    const long live = testing::live_allocations();
    testing::fail_allocation(n);
    try {
        o.ret = call(&data, &o.len);
    } catch (const std::bad_alloc&) {
        o.threw = true;
    }
    o.failed_one = testing::allocation_failed() && n > 0;
    if (data != nullptr) {
        o.bytes.assign(data, data + o.len);
        std::free(data);
    }
    // Less the stream or pixels copied out and the captured text (one block past its 15
    // bytes kept in place).
    o.leaked = testing::live_allocations() - live - (o.bytes.empty() ? 0 : 1) -
               (capture.text().size() > 15 ? 1 : 0);
    o.diag = capture.text();
    return o;
}

template <class Call>
void expect_every_failure_reported(const char* what, Call call) {
    const Outcome reference = run(0, call);
    ASSERT_EQ(reference.ret, 0) << reference.diag;
    int failures = 0;
    for (long n = 1;; ++n) {
        const Outcome o = run(n, call);
        EXPECT_EQ(o.leaked, 0) << what << ": allocation " << n << "\n" << o.diag;
        if (!o.failed_one) {
            EXPECT_EQ(o.ret, 0) << what;
            EXPECT_EQ(o.bytes, reference.bytes) << what;
            break;
        }
        if (o.ret == 0 && !o.threw) {
            EXPECT_EQ(o.bytes, reference.bytes) << what << ": allocation " << n;
            continue;
        }
        EXPECT_TRUE(o.bytes.empty()) << what << ": allocation " << n;
        EXPECT_EQ(o.len, -1) << what << ": allocation " << n;
        if (o.threw) continue;
        ++failures;
        EXPECT_LT(o.ret, 0) << what << ": allocation " << n;
        // The message names the allocation that failed (malloc, calloc or strdup).
        EXPECT_TRUE(o.diag.find("alloc") != std::string::npos ||
                    o.diag.find("strdup") != std::string::npos)
            << what << ": allocation " << n << "\n"
            << o.diag;
    }
    EXPECT_GT(failures, 10) << what;
}

TEST(AllocationFailures, EachFailedAllocationOfAnEncodeOrADecodeIsReported) {
    if (!testing::can_fail_allocations()) GTEST_SKIP() << "sanitizer builds keep their allocator";
    const int w = 96, h = 96;
    const Bytes px = quorvel::testing::ridge_pattern(w, h, 3);
    const char* comment = "NIST_COM 3\nFINGER 3\nPPI 400";
    auto encode = [&](unsigned char** data, int* len) {
        EncoderState state = process_encoder_state();
        state.work = nullptr;  // buffers of its own, allocated by every encode
        return wsq_encode(state, data, len, 0.75f, px.data(), w, h, 8, 500, comment);
    };
    expect_every_failure_reported("encode", encode);

    Bytes stream;
    {
        unsigned char* data = nullptr;
        int len = 0;
        DiagCapture quiet;
        ASSERT_EQ(encode(&data, &len), 0);
        stream.assign(data, data + len);
        std::free(data);
    }
    expect_every_failure_reported("decode", [&](unsigned char** data, int* len) {
        DecoderState state;
        WsqTrees trees;
        int dw, dh, dd, ppi, lossy;
        const int ret = wsq_decode(state, trees, data, &dw, &dh, &dd, &ppi, &lossy, stream.data(),
                                   static_cast<int>(stream.size()));
        if (ret == 0) *len = dw * dh;
        return ret;
    });
}

}  // namespace
}  // namespace quorvel::wsq
