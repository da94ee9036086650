#include "buffer.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vorlex::bench {

Buffer::Buffer(size_t size) : size_(size) {
    if (size > SIZE_MAX - GUARD_BYTES - ALIGNMENT) throw std::bad_alloc();
    // aligned_alloc wants a multiple of the alignment.
    const size_t total = (size + GUARD_BYTES + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
    data_.reset(static_cast<uint8_t*>(std::aligned_alloc(ALIGNMENT, total)));
    if (!data_) throw std::bad_alloc();
    std::memset(data_.get(), 0, size);
    rearm_guard();
}

bool Buffer::guard_intact() const {
    if (!data_) return true;
    for (size_t i = 0; i < GUARD_BYTES; ++i) {
        if (data_.get()[size_ + i] != GUARD_VALUE) return false;
    }
    return true;
}

void Buffer::rearm_guard() {
    if (data_) std::memset(data_.get() + size_, GUARD_VALUE, GUARD_BYTES);
}

void Buffer::Free::operator()(uint8_t* p) const { std::free(p); }

}  // namespace vorlex::bench
