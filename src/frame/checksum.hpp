// The frame's checksums: XXH3-64 (seed 0) of each block's original bytes,
// and the content checksum chained over those block checksums in order.
// xxHash is compiled into libvorlex (header-only), so the library needs no
// xxHash at run time and exports none of its symbols.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlex::frame {

uint64_t block_checksum(const uint8_t* data, size_t n);
#if defined(__x86_64__)
// The same, with AVX2 (checksum_avx2.cpp); only where the processor has it.
uint64_t block_checksum_avx2(const uint8_t* data, size_t n);
#endif

class ContentChecksum {
public:
    // Throws std::bad_alloc when the hash state cannot be allocated.
    ContentChecksum();
    ~ContentChecksum();
    ContentChecksum(const ContentChecksum&) = delete;
    ContentChecksum& operator=(const ContentChecksum&) = delete;

    void reset();
    // Next block's checksum, fed as 8 little-endian bytes.
    void add(uint64_t block_sum);
    uint64_t value() const;

private:
    void* state_;  // XXH3_state_t, kept out of this header
};

}  // namespace vorlex::frame
