// Heap buffers for the benchmark: page-aligned, so lzjb (whose output depends
// on the input's address modulo 1024) compresses the same way in every run,
// and followed by guard bytes that reveal a codec writing past its capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vorlex::bench {

using ByteView = std::span<const uint8_t>;

class Buffer {
public:
    static constexpr size_t ALIGNMENT = 4096;  // a multiple of lzjb's 1024
    static constexpr size_t GUARD_BYTES = 64;
    static constexpr uint8_t GUARD_VALUE = 0xA5;

    Buffer() = default;
    // size usable bytes, zero-filled; throws std::bad_alloc.
    explicit Buffer(size_t size);

    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }
    std::span<uint8_t> span() { return {data(), size_}; }
    ByteView view() const { return {data(), size_}; }

    // Whether the guard bytes after the usable ones still hold GUARD_VALUE.
    bool guard_intact() const;
    // Restores the guard bytes, so the next writer is judged on its own.
    void rearm_guard();

private:
    struct Free {
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t, Free> data_;
    size_t size_ = 0;
};

}  // namespace vorlex::bench
