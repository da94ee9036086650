// A buffer of exactly the size asked, so that one byte read or written too
// far is caught. Under AddressSanitizer that is a heap block of that size
// (ASan checks both ends, to the byte); in other builds, the plain replay
// tests and valgrind, it is a GuardedBuffer that ends right before an
// inaccessible page. `lead` puts the data that many bytes into the block, so
// a target can vary the address of its input (lzjb's output depends on it).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "support/guarded_buffer.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define VORLEX_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLEX_FUZZ_ASAN 1
#endif
#endif

namespace vorlex::fuzz {

class ExactBuffer {
public:
    explicit ExactBuffer(size_t size, size_t lead = 0) : size_(size) {
#ifdef VORLEX_FUZZ_ASAN
        heap_.reset(new uint8_t[lead + size]);
        data_ = heap_.get() + lead;
#else
        guarded_ = std::make_unique<vorlex::test::GuardedBuffer>(lead + size);
        data_ = guarded_->data() + lead;
#endif
    }
    ExactBuffer(const uint8_t* content, size_t size, size_t lead = 0) : ExactBuffer(size, lead) {
        if (size != 0) std::memcpy(data_, content, size);
    }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    void fill(uint8_t value) {
        if (size_ != 0) std::memset(data_, value, size_);
    }

private:
    size_t size_;
    uint8_t* data_ = nullptr;
#ifdef VORLEX_FUZZ_ASAN
    std::unique_ptr<uint8_t[]> heap_;
#else
    std::unique_ptr<vorlex::test::GuardedBuffer> guarded_;
#endif
};

}  // namespace vorlex::fuzz
