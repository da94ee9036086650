// Aligned, growable byte blocks from the host's allocator.
#include "buffer.hpp"

#include <new>
#include <utility>

#include <vorlex/vorlex.h>


namespace vorlex::frame {

Buffer::Buffer(Buffer&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
    if (this != &other) {
        vorlex_free(block_);
        block_ = std::exchange(other.block_, nullptr);
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

Buffer::~Buffer() { vorlex_free(block_); }

void Buffer::release() {
    vorlex_free(block_);
    block_ = nullptr;
    data_ = nullptr;
    capacity_ = 0;
}

void Buffer::reserve(size_t n) {
    if (n <= capacity_ && data_ != nullptr) return;  // never null, even for 0 bytes
    if (n > SIZE_MAX - BUFFER_ALIGNMENT) throw std::bad_alloc();
    // The old block goes first: its contents are not kept, and holding both
    // would double the peak.
    release();
    void* block = vorlex_malloc(n + BUFFER_ALIGNMENT - 1);
    if (block == nullptr) throw std::bad_alloc();
    const auto addr = reinterpret_cast<uintptr_t>(block);
    auto* data = reinterpret_cast<uint8_t*>((addr + BUFFER_ALIGNMENT - 1) & ~(BUFFER_ALIGNMENT - 1));
    block_ = block;
    data_ = data;
    capacity_ = n;
}

}  // namespace vorlex::frame
