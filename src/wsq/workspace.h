// Buffers an encode or a decode keeps for the next one of the same state, so that coding many
// prints allocates (and faults in) their memory once: faulting in fresh pages cost a 3200 x
// 3000 decode more than its arithmetic. Images beyond kKeptPixels (16 MP, above a 1000 ppi
// capture) let them go.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace quorvel::wsq {

inline constexpr size_t kKeptPixels = size_t{16} << 20;

struct DecodeWorkspace {
    std::vector<short> coefficients;
    std::vector<float> image;
    std::vector<float> scratch;  // the filter bank's
};

// Storage that growing does not clear. A buffer sized for the worst case but mostly left
// unwritten then costs no memory: pages never written are never faulted in.
template <typename T>
struct UnclearedBuffer {
    std::unique_ptr<T[]> storage;
    size_t size = 0;
    T* data() const { return storage.get(); }
};

struct EncodeWorkspace {
    std::vector<float> image;
    std::vector<float> scratch;                // the filter bank's
    UnclearedBuffer<unsigned char> blocks[3];  // the coded blocks: a byte a pixel at worst
};

// Grows v to at least n elements; false when memory runs out.
template <typename T>
bool fit(std::vector<T>& v, size_t n) {
    try {
        if (v.size() < n) v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

template <typename T>
bool fit(UnclearedBuffer<T>& b, size_t n) {
    if (b.size >= n) return true;
    b.storage.reset(new (std::nothrow) T[n]);  // default-initialised: left as the system gives it
    b.size = b.storage ? n : 0;
    return b.storage != nullptr;
}

// Lets a workspace grown for a very large image go.
template <typename Workspace>
void trim(Workspace& work, size_t pixels) {
    if (pixels > kKeptPixels) work = Workspace{};
}

}  // namespace quorvel::wsq
