// The LZJB compressor: one hash probe per input position, no chains, so each
// item costs a fixed amount of work. The decompressor is in
// lzjb_decompress.cpp; the stream layout and limits in lzjb_format.h.
//
// The match table holds the low 16 bits of the address of the latest
// position searched under each hash, not the position itself. Distances are
// taken modulo 1024, so an entry that was never written (0) names the latest
// 1024-aligned input address at or before the current position; that
// candidate is verified like any other. The output therefore depends on the
// input's address modulo 1024, which the format tolerates.
#include <string.h>

#include "lzjb.h"
#include "lzjb_format.h"

namespace {

using namespace vorlex::lzjb;

// Mixes three bytes into a table index.
inline unsigned hash3(const uint8_t* p) {
    uint32_t h = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
    h += h >> 9;
    h += h >> 5;
    return h & HASH_MASK;
}

}  // namespace

extern "C" size_t lzjb_compress(const uint8_t* src, uint8_t* dst, size_t src_len,
                                size_t dst_capacity) {
    uint16_t table[TABLE_ENTRIES];
    memset(table, 0, sizeof table);

    // Only the low bits of the input's address matter (see the file header).
    const uintptr_t base = reinterpret_cast<uintptr_t>(src);
    const unsigned group_full = 1u << ITEMS_PER_MAP;
    unsigned mask = group_full >> 1;  // the first doubling starts a group
    uint8_t* copy_map = nullptr;
    size_t p = 0;
    size_t o = 0;

    while (p < src_len) {
        mask <<= 1;
        if (mask == group_full) {
            // A group writes at most GROUP_RESERVE bytes; checking here once
            // covers every item in it.
            if (o + GROUP_RESERVE >= dst_capacity) return 0;
            copy_map = dst + o;
            *copy_map = 0;
            ++o;
            mask = 1;
        }
        if (src_len - p < SEARCH_TAIL) {
            dst[o++] = src[p++];
            continue;
        }

        uint16_t* const entry = &table[hash3(src + p)];
        const uint16_t here = uint16_t(base + p);
        const size_t d = (unsigned(here) - unsigned(*entry)) & OFFSET_MASK;
        *entry = here;
        // d = 0 would name the current position itself; d > p lies before
        // the input.
        if (d == 0 || d > p || src[p - d] != src[p] || src[p - d + 1] != src[p + 1] ||
            src[p - d + 2] != src[p + 2]) {
            dst[o++] = src[p++];
            continue;
        }

        // The candidate may overlap the bytes being matched (d < length);
        // that is how runs compress. SEARCH_TAIL keeps p + MATCH_MAX in range.
        const uint8_t* const c = src + p - d;
        size_t length = MATCH_MIN;
        while (length < MATCH_MAX && src[p + length] == c[length]) ++length;

        *copy_map = uint8_t(*copy_map | mask);
        dst[o] = uint8_t((length - MATCH_MIN) << (LENGTH_SHIFT - 8) | d >> 8);
        dst[o + 1] = uint8_t(d);
        o += MATCH_BYTES;
        p += length;
    }
    return o;
}
