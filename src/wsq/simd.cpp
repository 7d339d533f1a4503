#include "wsq/simd.h"

#include <atomic>

namespace quorvel::wsq {
namespace {

std::atomic<bool> simd_on{true};

}  // namespace

void set_wsq_simd(bool enabled) { simd_on.store(enabled, std::memory_order_relaxed); }
bool wsq_simd_enabled() { return simd_on.load(std::memory_order_relaxed); }

}  // namespace quorvel::wsq
