// Out of memory at any allocation of an encode or a decode: the call returns an error code with
// a message, or throws bad_alloc (which the exports catch), or (where the buffer was optional)
// gives the same result as without the failure; it never leaks and leaves its outputs alone. The
// program's malloc family fails its n-th call on this thread when armed; sanitizer builds keep
// their own allocator and skip the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "support/ridge_pattern.h"
#include "wsq/decoder.h"
#include "wsq/diag.h"
#include "wsq/encoder.h"
#include "wsq/records.h"
#include "wsq/tree.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVEL_OWN_MALLOC 0
#else
#define QUORVEL_OWN_MALLOC 1
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {
thread_local long g_allocations_left = 0;  // 0: never fail; n: the n-th allocation fails
thread_local long g_live_blocks = 0;       // allocated and not yet freed, on this thread
bool fail_this_one() { return g_allocations_left > 0 && --g_allocations_left == 0; }
void* counted(void* p) {
    if (p != nullptr) ++g_live_blocks;
    return p;
}
}  // namespace

extern "C" void* malloc(size_t n) { return fail_this_one() ? nullptr : counted(__libc_malloc(n)); }
extern "C" void* calloc(size_t n, size_t size) {
    return fail_this_one() ? nullptr : counted(__libc_calloc(n, size));
}
extern "C" void* realloc(void* p, size_t n) {
    if (fail_this_one()) return nullptr;
    void* q = __libc_realloc(p, n);
    if (p == nullptr) counted(q);
    if (p != nullptr && n == 0) --g_live_blocks;
    return q;
}
extern "C" void free(void* p) {
    if (p != nullptr) --g_live_blocks;
    __libc_free(p);
}
#endif

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
#if QUORVEL_OWN_MALLOC
    const long live = g_live_blocks;
    g_allocations_left = n;
#endif
    try {
        o.ret = call(&data, &o.len);
    } catch (const std::bad_alloc&) {
        o.threw = true;
    }
#if QUORVEL_OWN_MALLOC
    o.failed_one = n > 0 && g_allocations_left == 0;
    g_allocations_left = 0;
#endif
    if (data != nullptr) {
        o.bytes.assign(data, data + o.len);
        std::free(data);
    }
#if QUORVEL_OWN_MALLOC
    // Less the stream or pixels copied out and the captured text (one block past its 15
    // bytes kept in place).
    o.leaked =
        g_live_blocks - live - (o.bytes.empty() ? 0 : 1) - (capture.text().size() > 15 ? 1 : 0);
#endif
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
    if (!QUORVEL_OWN_MALLOC) GTEST_SKIP() << "sanitizer builds keep their allocator";
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
