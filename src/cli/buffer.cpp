// Aligned, growable byte blocks from the host's allocator.
#include "buffer.hpp"

#include <cstring>
#include <utility>

#include <vorlex/vorlex.h>

#include "failure.hpp"

namespace vorlex::cli {

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

void Buffer::reserve(size_t n) { grow(n, 0); }

void Buffer::grow(size_t n, size_t keep) {
    if (n <= capacity_ && data_ != nullptr) return;  // never null, even for 0 bytes
    if (n > SIZE_MAX - BUFFER_ALIGNMENT) throw Failure("out of memory");
    void* block = vorlex_malloc(n + BUFFER_ALIGNMENT - 1);
    if (block == nullptr) throw Failure("out of memory");
    const auto addr = reinterpret_cast<uintptr_t>(block);
    auto* data = reinterpret_cast<uint8_t*>((addr + BUFFER_ALIGNMENT - 1) & ~(BUFFER_ALIGNMENT - 1));
    if (keep != 0) std::memcpy(data, data_, keep < capacity_ ? keep : capacity_);
    vorlex_free(block_);
    block_ = block;
    data_ = data;
    capacity_ = n;
}

}  // namespace vorlex::cli
