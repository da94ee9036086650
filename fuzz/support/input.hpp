// How a target splits its input: parameters (capacities, chunk sizes, flags)
// are taken from the end, little-endian, and whatever is left at the front is
// the payload. A seed is therefore a real stream or file followed by a few
// parameter bytes, and a mutation of the payload leaves the parameters alone.
// Missing parameter bytes read as zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlex::fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The last `bytes` (at most 8) bytes as a little-endian number, removed.
    uint64_t take(size_t bytes) {
        uint64_t v = 0;
        for (size_t i = 0; i < bytes; ++i) {
            if (size_ == 0) break;
            --size_;
            v = v << 8 | data_[size_];
        }
        return v;  // the very last byte is the top one: little-endian at the end
    }
    uint8_t take_u8() { return uint8_t(take(1)); }
    uint16_t take_u16() { return uint16_t(take(2)); }
    uint32_t take_u32() { return uint32_t(take(4)); }

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace vorlex::fuzz
