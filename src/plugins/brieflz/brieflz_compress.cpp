// BriefLZ compressor: a greedy LZ77 matcher with one position-table candidate
// per position, writing each item as flag and gamma bits in 16-bit tag words
// interleaved with its data byte. The stream's layout and limits are in
// brieflz_format.h; decoding is in brieflz_decompress.cpp.
#include "brieflz.h"
#include "brieflz_format.h"
#include "common/bytes.hpp"

namespace {

using namespace vorlex::brieflz;
using vorlex::bytes::load_le32;
using vorlex::bytes::load_le64;
using vorlex::bytes::store_le16;

// Table index of the 4 bytes at p: the top 17 bits of their little-endian
// value times the multiplier.
inline uint32_t hash4(const uint8_t* p) {
    return (load_le32(p) * HASH_MULTIPLIER) >> (32 - HASH_BITS);
}

// The writer. A tag word's 2 bytes are reserved where the stream ends when
// its first bit is written, and stored once it is full (or at the end); data
// bytes go straight to the end of the stream meanwhile.
struct blz_pack_state {
    uint8_t* output;
    uint8_t* tag_slot;
    uint32_t tag;        // low 16 bits are what gets stored
    uint32_t free_bits;  // 0 to 16
    uint8_t* dst;
    size_t capacity;
};

// Whether an item of bits flag and gamma bits and one data byte still fits.
// The stream only ever grows at its end, so once one item does not fit, the
// stream never would. Far from the capacity no item can reach it.
inline bool item_fits(const blz_pack_state& s, unsigned bits) {
    const size_t left = s.capacity - size_t(s.output - s.dst);
    if (left >= MAX_ITEM_BYTES) return true;
    const unsigned new_tags = bits <= s.free_bits ? 0 : (bits - s.free_bits + TAG_BITS - 1) / TAG_BITS;
    return left >= new_tags * TAG_BYTES + 1;
}

// Appends the low n bits of bits (n <= 63), most significant first. A tag
// word that fills up is stored, and the next one is reserved only when a
// further bit needs it, so a full last word is never followed by an empty one.
inline void put_bits(blz_pack_state& s, uint64_t bits, unsigned n) {
    while (n > s.free_bits) {
        n -= s.free_bits;
        const uint32_t head = uint32_t(bits >> n);
        s.tag = (s.tag << s.free_bits) | head;
        store_le16(s.tag_slot, uint16_t(s.tag));
        bits &= (uint64_t(1) << n) - 1;
        s.tag_slot = s.output;
        s.output += TAG_BYTES;
        s.tag = 0;
        s.free_bits = TAG_BITS;
    }
    s.tag = (s.tag << n) | uint32_t(bits);
    s.free_bits -= n;
}

// Spreads the 32 bits of x to the even bit positions of the result.
inline uint64_t spread_bits(uint64_t x) {
    x = (x | x << 16) & 0x0000FFFF0000FFFFu;
    x = (x | x << 8) & 0x00FF00FF00FF00FFu;
    x = (x | x << 4) & 0x0F0F0F0F0F0F0F0Fu;
    x = (x | x << 2) & 0x3333333333333333u;
    x = (x | x << 1) & 0x5555555555555555u;
    return x;
}

// The gamma code of 2 <= v <= MAX_GAMMA: its digits after the leading 1,
// each followed by a continuation bit that is 0 after the last digit.
// Returns the code's 2 * digits bits in the low bits, first bit highest.
inline uint64_t gamma_code(uint64_t v) {
    const unsigned digits = unsigned(63 - __builtin_clzll(v));
    const uint64_t low = v & ((uint64_t(1) << digits) - 1);
    const uint64_t more = 0x5555555555555555u & ((uint64_t(1) << (2 * digits)) - 2);
    return spread_bits(low) << 1 | more;
}

inline bool write_literal(blz_pack_state& s, uint8_t byte) {
    if (!item_fits(s, 1)) return false;
    put_bits(s, 0, 1);
    *s.output++ = byte;
    return true;
}

// Bytes from 0 up to limit that are equal at a and b, 8 at a time and then
// one by one. The first difference in a little-endian word is its lowest set byte.
inline size_t match_length(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (limit - n >= 8) {
        const uint64_t diff = load_le64(a + n) ^ load_le64(b + n);
        if (diff != 0) return n + unsigned(__builtin_ctzll(diff)) / 8;
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// Enters the positions from up to to into the table in increasing order,
// each over the most recent earlier one with its hash. The 4-byte values of
// four neighbours come from one 8-byte load while it lies inside the input.
inline void insert_positions(const uint8_t** table, const uint8_t* from, const uint8_t* to,
                             const uint8_t* end) {
    const uint8_t* p = from;
    if (size_t(end - to) >= 4) {
        for (; to - p >= 4; p += 4) {
            const uint64_t w = load_le64(p);
            table[(uint32_t(w) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p;
            table[(uint32_t(w >> 8) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p + 1;
            table[(uint32_t(w >> 16) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p + 2;
            table[(uint32_t(w >> 24) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p + 3;
        }
    }
    for (; p < to; ++p) table[hash4(p)] = p;
}

size_t pack(const uint8_t* src, uint8_t* dst, size_t capacity, size_t src_size,
            const uint8_t** table) {
    if (src_size == 0) return 0;
    for (size_t i = 0; i < HASH_ENTRIES; ++i) table[i] = nullptr;

    // The first byte goes out as it is, without a flag.
    if (capacity < 1) return BLZ_PACK_NO_ROOM;
    dst[0] = src[0];
    if (src_size == 1) return 1;

    // The first tag word sits right behind it; all 16 of its bits are free.
    if (capacity < 1 + TAG_BYTES) return BLZ_PACK_NO_ROOM;
    blz_pack_state s{dst + 1 + TAG_BYTES, dst + 1, 0, TAG_BITS, dst, capacity};
    const uint8_t* input = src + 1;
    size_t remaining = src_size - 1;
    const uint8_t* const end = src + src_size;
    if (remaining >= MIN_LOOKAHEAD) table[hash4(src)] = src;

    while (remaining >= MIN_LOOKAHEAD) {
        // Each position enters the table right after its own lookup, so the
        // lookup finds only earlier positions; the positions a match covers
        // follow it. (Entering them a step later, before the next lookup,
        // gives the same table: nothing reads it in between.)
        const uint32_t hash = hash4(input);
        const uint8_t* const candidate = table[hash];
        table[hash] = input;

        size_t length = 0;
        if (candidate != nullptr && offset_in_reach(size_t(input - candidate))) {
            // May overlap input, and may run to the very end of the data.
            length = match_length(input, candidate, match_limit(remaining));
        }
        if (length >= MIN_MATCH) {
            const size_t back = size_t(input - candidate) - 1;
            const uint64_t length_code = length - LENGTH_BIAS;
            const uint64_t offset_code = (back >> OFFSET_LOW_BITS) + OFFSET_HIGH_BIAS;
            const unsigned length_bits = gamma_bits(length_code);
            const unsigned offset_bits = gamma_bits(offset_code);
            if (!item_fits(s, 1 + length_bits + offset_bits)) return BLZ_PACK_NO_ROOM;
            const uint64_t flag_and_length = uint64_t(1) << length_bits | gamma_code(length_code);
            if (1 + length_bits + offset_bits <= 63) {
                put_bits(s, flag_and_length << offset_bits | gamma_code(offset_code),
                         1 + length_bits + offset_bits);
            } else {
                put_bits(s, flag_and_length, 1 + length_bits);
                put_bits(s, gamma_code(offset_code), offset_bits);
            }
            *s.output++ = uint8_t(back);
            remaining -= length;
            // Only a lookup still to come reads these entries, and one comes
            // only while MIN_LOOKAHEAD bytes remain; then every 4-byte read
            // below stays inside the input.
            if (remaining >= MIN_LOOKAHEAD) insert_positions(table, input + 1, input + length, end);
            input += length;
        } else {
            if (!write_literal(s, *input)) return BLZ_PACK_NO_ROOM;
            ++input;
            --remaining;
        }
    }
    // Too few bytes left to hash: the last 0 to 4 are literals.
    for (; remaining != 0; --remaining) {
        if (!write_literal(s, *input++)) return BLZ_PACK_NO_ROOM;
    }

    // The used bits move to the top of the last tag word; the rest is zero.
    store_le16(s.tag_slot, uint16_t(s.tag << s.free_bits));
    return size_t(s.output - dst);
}

}  // namespace

extern "C" {

size_t blz_workmem_size(size_t) { return WORKMEM_SIZE; }

size_t blz_max_packed_size(size_t length) { return length + (length >> 3) + 64; }

size_t blz_pack(const void* src, void* dst, size_t src_size, void* workmem) {
    // The caller vouches for the room; an unlimited capacity keeps every check
    // satisfied without forming a pointer past dst's real end.
    return pack(static_cast<const uint8_t*>(src), static_cast<uint8_t*>(dst), SIZE_MAX, src_size,
                static_cast<const uint8_t**>(workmem));
}

}  // extern "C"

size_t blz_pack_bounded(const void* src, void* dst, size_t dst_capacity, size_t src_size,
                        void* workmem) {
    return pack(static_cast<const uint8_t*>(src), static_cast<uint8_t*>(dst), dst_capacity,
                src_size, static_cast<const uint8_t**>(workmem));
}
