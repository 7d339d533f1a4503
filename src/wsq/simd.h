// The switch between the codec's SIMD kernels (Highway, chosen at run time) and their scalar
// twins, which give the same bits. The SIMD kernels run only on processors with a fused
// multiply-add, the one way to round as the scalar fmaf does; tests switch them off to compare.
#pragma once

namespace quorvel::wsq {

void set_wsq_simd(bool enabled);  // on by default
bool wsq_simd_enabled();

}  // namespace quorvel::wsq
