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
//
// Far from the input's end a group of eight items is coded with word loads
// and no end checks; the last groups go item by item. Both paths make the
// same decisions, so the stream is the same whichever codes a group.
#include <string.h>

#include "common/bytes.hpp"
#include "lzjb.h"
#include "lzjb_format.h"

namespace {

using namespace vorlex::lzjb;
using vorlex::bytes::load_le64;

// The table index of the three bytes b0 b1 b2 held in the low 24 bits of v
// as b0 << 16 | b1 << 8 | b2.
inline unsigned hash24(uint32_t v) {
    v += v >> 9;
    v += v >> 5;
    return v & HASH_MASK;
}

inline unsigned hash3(const uint8_t* p) {
    return hash24(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]));
}

// A group is coded on the fast path while this much input is left from its
// start. Its eight items advance at most ITEMS_PER_MAP * MATCH_MAX bytes, so
// each of them still has SEARCH_TAIL bytes left and is searched, as the
// careful loop would; and the word loads of a match, which read at most
// WIDE - 1 bytes past its MATCH_MAX limit, stay inside the input.
constexpr size_t WIDE = 8;  // bytes compared by one word load
constexpr size_t FAST_INPUT = ITEMS_PER_MAP * MATCH_MAX + SEARCH_TAIL + WIDE;

// The first MATCH_MIN bytes of a word loaded little-endian (first byte lowest).
constexpr uint64_t FIRST_BYTES = (uint64_t(1) << 8 * MATCH_MIN) - 1;

}  // namespace

extern "C" size_t lzjb_compress(const uint8_t* src, uint8_t* dst, size_t src_len,
                                size_t dst_capacity) {
    uint16_t table[TABLE_ENTRIES];
    memset(table, 0, sizeof table);

    // Only the low bits of the input's address matter (see the file header).
    const uintptr_t base = reinterpret_cast<uintptr_t>(src);
    size_t p = 0;
    size_t o = 0;

    // Fast path: whole groups, each with at least FAST_INPUT bytes left.
    while (src_len - p >= FAST_INPUT) {
        // A group writes at most GROUP_RESERVE bytes; checking here once
        // covers every item in it.
        if (o + GROUP_RESERVE >= dst_capacity) return 0;
        uint8_t* const copy_map = dst + o++;
        unsigned map = 0;
#pragma GCC unroll 8
        for (unsigned item = 0; item < ITEMS_PER_MAP; ++item) {
            const uint64_t next = load_le64(src + p);  // bytes p..p+7, p lowest
            uint16_t* const entry = &table[hash24(__builtin_bswap32(uint32_t(next)) >> 8)];
            const uint16_t here = uint16_t(base + p);
            const size_t d = (unsigned(here) - unsigned(*entry)) & OFFSET_MASK;
            *entry = here;
            // d = 0 would name the current position itself; d > p lies
            // before the input. diff's lowest set byte is the first that
            // differs from the candidate.
            uint64_t diff;
            if (__builtin_expect(
                    d == 0 || d > p || ((diff = load_le64(src + p - d) ^ next) & FIRST_BYTES), 1)) {
                dst[o++] = uint8_t(next);
                ++p;
                continue;
            }
            // The match's length: the first differing byte, or MATCH_MAX.
            // The candidate may overlap the bytes being matched; that is how
            // runs compress.
            const uint8_t* const c = src + p - d;
            size_t length;
            if (diff != 0) {
                length = size_t(__builtin_ctzll(diff)) / 8;  // bits to bytes
            } else {
                for (length = WIDE; length < MATCH_MAX; length += WIDE) {
                    diff = load_le64(src + p + length) ^ load_le64(c + length);
                    if (diff != 0) {
                        length += size_t(__builtin_ctzll(diff)) / 8;
                        break;
                    }
                }
            }
            if (length > MATCH_MAX) length = MATCH_MAX;
            map |= 1u << item;
            dst[o] = uint8_t((length - MATCH_MIN) << (LENGTH_SHIFT - 8) | d >> 8);
            dst[o + 1] = uint8_t(d);
            o += MATCH_BYTES;
            p += length;
        }
        *copy_map = uint8_t(map);
    }

    // The rest, item by item, from a group boundary, with the same rules.
    const unsigned group_full = 1u << ITEMS_PER_MAP;
    unsigned mask = group_full >> 1;  // the first doubling starts a group
    uint8_t* copy_map = nullptr;
    while (p < src_len) {
        mask <<= 1;
        if (mask == group_full) {
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
