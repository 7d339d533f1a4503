// The pixel memory of a GDI bitmap. It lives on the C heap so that a block a reader filled can
// become a section's pixels without a copy.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace quorvel::platform {

class PixelBlock {
public:
    PixelBlock() = default;
    PixelBlock(const PixelBlock& other) { *this = other; }
    PixelBlock(PixelBlock&& other) noexcept { swap(other); }
    ~PixelBlock() { std::free(data_); }

    PixelBlock& operator=(const PixelBlock& other) {
        if (this == &other) return *this;
        if (size_ != other.size_) assign_zeroed(other.size_);
        if (size_ > 0) std::memcpy(data_, other.data_, size_);
        return *this;
    }
    PixelBlock& operator=(PixelBlock&& other) noexcept {
        PixelBlock(std::move(other)).swap(*this);
        return *this;
    }

    // Throws std::bad_alloc when memory runs out; the old block is kept then.
    void assign_zeroed(size_t size) {
        void* block = size > 0 ? std::calloc(size, 1) : nullptr;
        if (size > 0 && block == nullptr) throw std::bad_alloc();
        adopt(static_cast<uint8_t*>(block), size);
    }
    // Takes a block of `size` bytes from malloc or calloc, which this one frees.
    void adopt(uint8_t* block, size_t size) noexcept {
        std::free(data_);
        data_ = block;
        size_ = size;
    }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void swap(PixelBlock& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace quorvel::platform
