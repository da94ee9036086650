// Block buffers of the frame layer. They come from vorlex_malloc, so an
// application that replaces the host's memory functions governs the big
// allocations too, and they start at a 1024-byte boundary: lzjb's output
// depends on its input's address modulo 1024, and equal alignment for every
// block keeps the output identical whatever the thread count.
//
// Large blocks are kept per thread when a buffer lets them go, and the next
// buffer of that thread takes one that fits: a one-shot frame call would
// otherwise get its megabytes from the system and give them back on every
// call (glibc maps large blocks until its thresholds have grown), and pay
// for faulting in fresh zeroed pages each time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlex::frame {

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
    // throws std::bad_alloc when the allocation fails.
    void reserve(size_t n);
    // Give the memory back.
    void release();

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t capacity() const { return capacity_; }

private:
    void* block_ = nullptr;  // what vorlex_malloc returned
    size_t block_size_ = 0;  // and its size
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
};

// Frees the blocks every thread keeps (vorlex_release_cached_memory). No
// other thread may be in a call.
void release_kept_blocks();

}  // namespace vorlex::frame
