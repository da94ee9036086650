// xxHash behind the frame's two checksums, inlined here and nowhere else.
#include "checksum.hpp"

#include <new>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "common/bytes.hpp"

namespace vorlex::frame {

namespace {
XXH3_state_t* xxh(void* p) { return static_cast<XXH3_state_t*>(p); }
}  // namespace

uint64_t block_checksum(const uint8_t* data, size_t n) {
#if defined(__x86_64__)
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    if (avx2) return block_checksum_avx2(data, n);
#endif
    return XXH3_64bits(data, n);
}

ContentChecksum::ContentChecksum() : state_(XXH3_createState()) {
    if (state_ == nullptr) throw std::bad_alloc();
    reset();
}

ContentChecksum::~ContentChecksum() { XXH3_freeState(xxh(state_)); }

void ContentChecksum::reset() { XXH3_64bits_reset(xxh(state_)); }

// gcc, inlining xxHash's update into this 8-byte call, warns about the
// paths for long inputs that an 8-byte input never takes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
void ContentChecksum::add(uint64_t block_sum) {
    uint8_t le[8];
    bytes::store_le64(le, block_sum);
    XXH3_64bits_update(xxh(state_), le, sizeof le);
}
#pragma GCC diagnostic pop

uint64_t ContentChecksum::value() const { return XXH3_64bits_digest(xxh(state_)); }

}  // namespace vorlex::frame
