// xxHash behind the container's two checksums.
#include "checksum.hpp"

#include <new>

#include <xxhash.h>

#include "common/bytes.hpp"

namespace vorlex::cli {

uint64_t block_checksum(const uint8_t* data, size_t n) { return XXH3_64bits(data, n); }

struct ContentChecksum::State {
    XXH3_state_t* xxh = nullptr;
    ~State() { XXH3_freeState(xxh); }
};

ContentChecksum::ContentChecksum() : state_(std::make_unique<State>()) {
    state_->xxh = XXH3_createState();
    if (state_->xxh == nullptr) throw std::bad_alloc();
    XXH3_64bits_reset(state_->xxh);
}

ContentChecksum::~ContentChecksum() = default;

void ContentChecksum::add(uint64_t block_sum) {
    uint8_t le[8];
    bytes::store_le64(le, block_sum);
    XXH3_64bits_update(state_->xxh, le, sizeof le);
}

uint64_t ContentChecksum::value() const { return XXH3_64bits_digest(state_->xxh); }

}  // namespace vorlex::cli
