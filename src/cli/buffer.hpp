// Block buffers of the tool. They come from vorlex_malloc, so an application
// or a test that replaces the host's memory functions governs the tool's big
// allocations too, and they start at a 1024-byte boundary: lzjb's output
// depends on its input's address modulo 1024, and equal alignment for every
// block keeps the output identical whatever the thread count.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlex::cli {

inline constexpr size_t BUFFER_ALIGNMENT = 1024;

class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& other) noexcept;
    Buffer& operator=(Buffer&& other) noexcept;
    ~Buffer();

    // Make room for at least n bytes. The contents are lost when it grows;
    // throws Failure("out of memory") when the allocation fails.
    void reserve(size_t n);
    // As reserve, but the first `keep` bytes survive a move to a larger block.
    void grow(size_t n, size_t keep);

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t capacity() const { return capacity_; }

private:
    void* block_ = nullptr;  // what vorlex_malloc returned
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
};

}  // namespace vorlex::cli
