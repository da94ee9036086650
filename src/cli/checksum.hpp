// The container's checksums: XXH3-64 (seed 0) of each block's original bytes,
// and the content checksum chained over those block checksums in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vorlex::cli {

uint64_t block_checksum(const uint8_t* data, size_t n);

class ContentChecksum {
public:
    ContentChecksum();
    ~ContentChecksum();
    ContentChecksum(const ContentChecksum&) = delete;
    ContentChecksum& operator=(const ContentChecksum&) = delete;

    // Next block's checksum, fed as 8 little-endian bytes.
    void add(uint64_t block_sum);
    uint64_t value() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vorlex::cli
