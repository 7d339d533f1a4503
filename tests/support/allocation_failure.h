// Out-of-memory on demand: the program's malloc family fails the n-th call made on this thread
// after fail_allocation(n), and counts this thread's live blocks. Under gcc's AddressSanitizer
// too; other sanitizers keep their allocator: there can_fail_allocations() is false.
#pragma once

#include <cstddef>

namespace quorvel::testing {

bool can_fail_allocations();
// Arms (n > 0) or disarms (0) the failure of the n-th allocation from now on this thread.
void fail_allocation(long n);
// Whether the armed allocation was reached; disarms.
bool allocation_failed();
// Blocks allocated and not yet freed on this thread (malloc, calloc, realloc, free).
long live_allocations();
// The largest block this thread asked for since the last call (0 under a sanitizer).
size_t largest_allocation();

}  // namespace quorvel::testing
