// The run-length decoders of the family against hand-coded blocks: runs and literals that
// overshoot the target are cut, sources that end inside a code stop cleanly, and what was
// consumed and produced comes back.
#include <functional>
#include <memory>

#include "readers/decoders/cut_rle.h"
#include "readers/decoders/pcx_rle.h"
#include "readers/decoders/psp_rle.h"
#include "readers/decoders/rla_rle.h"
#include "readers/decoders/sgi_rle.h"
#include "readers/decoders/targa_rle.h"
#include "reader_test_support.h"

namespace quorvel::readers_test {
namespace {

struct DecoderCase {
    const char* label;
    std::function<std::unique_ptr<readers::TDecoder>()> make;
    std::vector<uint8_t> source;
    size_t target_size;
    std::vector<uint8_t> expected;  // the target afterwards (0xEE where nothing was written)
    size_t consumed;
};

template <typename D, typename... Args>
std::function<std::unique_ptr<readers::TDecoder>()> maker(Args... args) {
    return [=] { return std::make_unique<D>(args...); };
}

TEST(RunLengthDecoders, CutAtTheTargetAndStopAtTheSourceEnd) {
    using namespace readers;
    const std::vector<DecoderCase> cases = {
        {"targa repeat and literal",
         maker<TTargaRLEDecoder>(2u),
         {0x81, 1, 2, 0x00, 3, 4},
         6,
         {1, 2, 1, 2, 3, 4},
         6},
        {"targa run cut", maker<TTargaRLEDecoder>(1u), {0xFF, 7}, 3, {7, 7, 7}, 2},
        {"targa pixel missing",
         maker<TTargaRLEDecoder>(3u),
         {0x80, 1, 2},
         3,
         {0xEE, 0xEE, 0xEE},
         1},
        {"pcx literal and run", maker<TPCXRLEDecoder>(), {5, 0xC3, 9}, 4, {5, 9, 9, 9}, 3},
        {"pcx run cut", maker<TPCXRLEDecoder>(), {0xFF, 1}, 2, {1, 1}, 2},
        {"pcx run without value", maker<TPCXRLEDecoder>(), {4, 0xC2}, 3, {4, 0xEE, 0xEE}, 2},
        {"sgi literal, run, end",
         maker<TSGIRLEDecoder>(1u),
         {0x82, 1, 2, 0x02, 3, 0, 9},
         5,
         {1, 2, 3, 3, 0xEE},
         6},
        {"sgi 16-bit run cut", maker<TSGIRLEDecoder>(2u), {0, 3, 1, 2}, 4, {1, 2, 1, 2}, 4},
        {"sgi literal longer than source",
         maker<TSGIRLEDecoder>(1u),
         {0x85, 1, 2},
         5,
         {1, 2, 0xEE, 0xEE, 0xEE},
         3},
        {"cut row",
         maker<TCUTRLEDecoder>(),
         {9, 9, 0x82, 5, 0x02, 6, 7, 0, 42},
         4,
         {5, 5, 6, 7},
         8},
        {"cut run past the row is read through",
         maker<TCUTRLEDecoder>(),
         {0, 0, 0x85, 5, 0x03, 1, 2, 3, 0},
         2,
         {5, 5},
         9},
        {"psp run and literal", maker<TPSPRLEDecoder>(), {0x82, 4, 0x02, 5, 6}, 4, {4, 4, 5, 6}, 5},
        {"psp literal cut", maker<TPSPRLEDecoder>(), {0x05, 1, 2}, 1, {1}, 3},
        {"rla literal and run", maker<TRLADecoder>(), {0xFE, 1, 2, 0x01, 3}, 4, {1, 2, 3, 3}, 5},
        {"rla run cut", maker<TRLADecoder>(), {0x7F, 8}, 2, {8, 8}, 2},
    };
    for (const DecoderCase& c : cases) {
        SCOPED_TRACE(c.label);
        auto decoder = c.make();
        decoder->decode_init();
        // Exactly sized buffers, so that a sanitizer build catches any access past them.
        std::vector<uint8_t> source = c.source, target(c.target_size, 0xEE);
        const readers::DecodeResult r = decoder->decode(source, target);
        EXPECT_EQ(target, c.expected);
        EXPECT_EQ(r.consumed, c.consumed);
    }
}

TEST(RunLengthDecoders, TargaAndPcxRunsContinueIntoTheNextCall) {
    readers::TTargaRLEDecoder targa(1);
    targa.decode_init();
    const std::vector<uint8_t> source = {0x83, 6};
    std::vector<uint8_t> first(3), second(1);
    EXPECT_EQ(targa.decode(source, first).consumed, 2u);
    EXPECT_EQ(targa.decode({}, second).produced, 1u);
    EXPECT_EQ(second[0], 6);
    readers::TPCXRLEDecoder pcx;
    pcx.decode_init();
    const std::vector<uint8_t> run = {0xC4, 3};
    EXPECT_EQ(pcx.decode(run, first).produced, 3u);
    EXPECT_EQ(pcx.decode({}, second).produced, 1u);
    EXPECT_EQ(second[0], 3);
}

}  // namespace
}  // namespace quorvel::readers_test
