// A buffer whose last byte sits just before an inaccessible page, so reading
// or writing one byte too far faults at once, in any build (no sanitizer
// needed). Used for decoder inputs and outputs placed exactly at capacity.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>

namespace vorlex::test {

class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : size_(size) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        mapped_ = (size + page - 1) / page * page + page;
        void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<uint8_t*>(m);
        mprotect(base_ + mapped_ - page, page, PROT_NONE);
        data_ = base_ + mapped_ - page - size;
    }
    GuardedBuffer(std::span<const uint8_t> content) : GuardedBuffer(content.size()) {
        if (!content.empty()) std::memcpy(data_, content.data(), content.size());
    }
    ~GuardedBuffer() { munmap(base_, mapped_); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    std::span<uint8_t> span() { return {data_, size_}; }

private:
    size_t size_;
    size_t mapped_;
    uint8_t* base_;
    uint8_t* data_;
};

}  // namespace vorlex::test
