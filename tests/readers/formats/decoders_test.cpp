// The run-length decoders only the extended readers use (the shared ones are tested with the
// format layer) against hand-coded blocks: runs and literals that overshoot the target are cut,
// sources that end inside a code stop cleanly, and what was consumed and produced comes back.
#include <functional>
#include <memory>

#include "readers/decoders/run_length.h"
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

}  // namespace
}  // namespace quorvel::readers_test
