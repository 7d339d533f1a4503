#include "support/allocation_failure.h"

#include <cstddef>
#include <cstdint>
#include <new>

// The allocator the wrappers below hand on to: glibc's, or under gcc's AddressSanitizer its
// exported entry points (the wrappers stand in front of its interceptors). Other sanitizers
// keep their allocator to themselves, and nothing fails there.
#if defined(__SANITIZE_ADDRESS__) && !defined(__clang__)
#define QUORVEL_REAL(name) __interceptor_##name
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define QUORVEL_SANITIZED_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define QUORVEL_SANITIZED_ALLOCATOR 1
#endif
#ifndef QUORVEL_REAL
#define QUORVEL_REAL(name) __libc_##name
#endif

#ifdef QUORVEL_SANITIZED_ALLOCATOR

namespace quorvel::testing {
bool can_fail_allocations() { return false; }
void fail_allocation(long) {}
bool allocation_failed() { return false; }
long live_allocations() { return 0; }
size_t largest_allocation() { return 0; }
}  // namespace quorvel::testing

#else

extern "C" void* QUORVEL_REAL(malloc)(size_t);
extern "C" void* QUORVEL_REAL(calloc)(size_t, size_t);
extern "C" void* QUORVEL_REAL(realloc)(void*, size_t);
extern "C" void QUORVEL_REAL(free)(void*);

namespace {
thread_local long g_allocations_left = 0;  // 0: never fail; n: the n-th allocation fails
thread_local long g_live_blocks = 0;
thread_local size_t g_largest = 0;
// Where a debugger breaks to see which allocation failed.
[[gnu::noinline]] bool failed_here() {
    asm volatile("");
    return true;
}
bool fail_this_one() {
    return g_allocations_left > 0 && --g_allocations_left == 0 && failed_here();
}
void* counted(void* p) {
    if (p != nullptr) ++g_live_blocks;
    return p;
}
size_t asked(size_t n) {
    if (n > g_largest) g_largest = n;
    return n;
}
}  // namespace

extern "C" void* malloc(size_t n) {
    return fail_this_one() ? nullptr : counted(QUORVEL_REAL(malloc)(asked(n)));
}
extern "C" void* calloc(size_t n, size_t size) {
    if (fail_this_one()) return nullptr;
    asked(size != 0 && n > SIZE_MAX / size ? SIZE_MAX : n * size);
    return counted(QUORVEL_REAL(calloc)(n, size));
}
extern "C" void* realloc(void* p, size_t n) {
    if (fail_this_one()) return nullptr;
    void* q = QUORVEL_REAL(realloc)(p, asked(n));
    if (p == nullptr) counted(q);
    if (p != nullptr && n == 0) --g_live_blocks;
    return q;
}
extern "C" void free(void* p) {
    if (p != nullptr) --g_live_blocks;
    QUORVEL_REAL(free)(p);
}

#if defined(__SANITIZE_ADDRESS__) && !defined(__clang__)
// The sanitizer's own operator new does not call malloc, as the C++ runtime's does: these make
// new and delete go through the wrappers, so that they fail and count as they do elsewhere.
void* operator new(size_t n) {
    void* p = malloc(n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return malloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return malloc(n); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }
#endif

namespace quorvel::testing {
bool can_fail_allocations() { return true; }
void fail_allocation(long n) { g_allocations_left = n; }
bool allocation_failed() {
    const bool reached = g_allocations_left == 0;
    g_allocations_left = 0;
    return reached;
}
long live_allocations() { return g_live_blocks; }
size_t largest_allocation() {
    const size_t largest = g_largest;
    g_largest = 0;
    return largest;
}
}  // namespace quorvel::testing

#endif
