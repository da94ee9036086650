// The lz4 tool's legacy format (`lz4 -l`, and what old Linux kernels and
// their build tools used): the magic 0x184C2102, then blocks, each a 4-byte
// little-endian compressed length and an LZ4 block that decodes to 8 MiB
// (the last one to less). No checksums, no end mark: the data ends at the
// end of the input, or where a "length" too large for a block is the magic
// of the next frame, as the lz4 tool reads it. A stream holds one block of
// each kind, about 16 MiB, allocated when legacy data is met.
#include <lz4.h>

#include <string.h>

#include "common/bytes.hpp"
#include "common/library_stream.hpp"
#include "lz4_glue.h"

namespace vorlex::lz4_codec {

namespace {

constexpr size_t LEGACY_BLOCK = size_t(8) << 20;
constexpr size_t LEGACY_BOUND = size_t(LZ4_COMPRESSBOUND(LEGACY_BLOCK));

// Up to n bytes of input into dst[have..n); true once all n are there.
bool gather(vorlex_stream* s, uint8_t* dst, size_t& have, size_t n) {
    const size_t take = s->in_avail < n - have ? s->in_avail : n - have;
    memcpy(dst + have, s->in_next, take);
    have += take;
    plugin::advance(s, take, 0);
    return have == n;
}

}  // namespace

bool is_legacy_magic(const uint8_t* four) { return bytes::load_le32(four) == LEGACY_MAGIC; }

vorlex_status legacy_begin(Lz4Stream& z) {
    Legacy& l = z.legacy;
    if (l.packed == nullptr) {
        l.packed = static_cast<uint8_t*>(vorlex_malloc(LEGACY_BOUND));
        l.block = static_cast<uint8_t*>(vorlex_malloc(LEGACY_BLOCK));
        if (l.packed == nullptr || l.block == nullptr) {
            legacy_free(z);
            return vorlex_error(VORLEX_STATUS_NO_MEMORY);
        }
    }
    z.in_legacy = true;
    l.head_have = l.packed_have = l.packed_need = 0;
    l.out_begin = l.out_end = 0;
    return VORLEX_STATUS_OK;
}

void legacy_free(Lz4Stream& z) {
    vorlex_free(z.legacy.packed);
    vorlex_free(z.legacy.block);
    z.legacy.packed = z.legacy.block = nullptr;
}

LegacyResult legacy_step(Lz4Stream& z) {
    vorlex_stream* s = &z.base;
    Legacy& l = z.legacy;
    for (;;) {
        // Decoded bytes first, as the caller's room allows.
        if (l.out_begin != l.out_end) {
            const size_t n =
                s->out_avail < l.out_end - l.out_begin ? s->out_avail : l.out_end - l.out_begin;
            if (n == 0) return {LegacyResult::WAITING, VORLEX_STATUS_OK};
            memcpy(s->out_next, l.block + l.out_begin, n);
            l.out_begin += n;
            plugin::advance(s, 0, n);
            continue;
        }
        if (l.packed_need == 0) {
            // Between blocks: a length, or the next frame's magic.
            if (!gather(s, l.head, l.head_have, sizeof l.head)) {
                return {l.head_have == 0 ? LegacyResult::BETWEEN_BLOCKS : LegacyResult::WAITING,
                        VORLEX_STATUS_OK};
            }
            l.head_have = 0;
            const uint32_t length = bytes::load_le32(l.head);
            if (length > LEGACY_BOUND) return {LegacyResult::NEXT_FRAME, VORLEX_STATUS_OK};
            if (length == 0) return {LegacyResult::DONE, vorlex_error(VORLEX_STATUS_FAILED)};
            l.packed_need = length;
            l.packed_have = 0;
        }
        if (!gather(s, l.packed, l.packed_have, l.packed_need)) {
            return {LegacyResult::WAITING, VORLEX_STATUS_OK};
        }
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(l.packed),
                                          reinterpret_cast<char*>(l.block), int(l.packed_need),
                                          int(LEGACY_BLOCK));
        l.packed_need = 0;
        if (n < 0) return {LegacyResult::DONE, vorlex_error(VORLEX_STATUS_FAILED)};
        l.out_begin = 0;
        l.out_end = size_t(n);
    }
}

}  // namespace vorlex::lz4_codec
