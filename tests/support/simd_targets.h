// Runs a check once with each SIMD target this processor runs that the kernels were compiled
// for, as the run-time choice would pick it on a processor with fewer extensions; the best
// target is chosen again afterwards.
#pragma once

#include <hwy/targets.h>

#include <cstdint>

namespace quorvel::testing {

template <class F>
void for_each_simd_target(F f) {
    struct Restore {
        ~Restore() { hwy::SetSupportedTargetsForTest(0); }
    } restore;
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        f(hwy::TargetName(target));
    }
}

}  // namespace quorvel::testing
